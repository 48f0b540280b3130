#include "fileops/BatchCrop.h"

#include "base/AtomicFile.h"
#include "base/UiThread.h"
#include "fileops/FolderBookmarkStore.h"
#include "model/ImageProcessor.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>

namespace lumora {

namespace {

using AccessTokens = QList<std::shared_ptr<FolderBookmarkStore::AccessToken>>;

/// A photo whose original was overwritten, with the written JPEG as its new original.
struct Replacement {
    QUuid id;
    SourceImage original;
};

struct CropRun {
    BatchCropResult result;
    QList<Replacement> replacements;
};

QString folderOf(const QUrl& url)
{
    return FolderBookmarkStore::standardizedPath(QFileInfo(url.toLocalFile()).path());
}

/// The rendered photo cut to the region; a null image when the region is too small.
std::expected<QImage, QString> renderCrop(const BatchCropZiel& target, QRectF normalizedRect)
{
    auto rendered = renderImage(target.originalCI, target.edits);
    if (!rendered) // the original cannot be decoded: say why
        return std::unexpected(QStringLiteral("Rendern fehlgeschlagen. ") + rendered.error().description);
    if (rendered->isNull())
        return std::unexpected(QStringLiteral("Rendern fehlgeschlagen"));
    const QRect region = cropPixelRect(normalizedRect, rendered->raster.size());
    if (region.width() < kMinimumCropSide || region.height() < kMinimumCropSide)
        return QImage();
    if (region == rendered->raster.rect())
        return rendered->raster; // the whole image: shared, not copied (96 MB at 24 MP)
    QImage cropped = rendered->raster.copy(region);
    if (cropped.isNull())
        return std::unexpected(QStringLiteral("Zuschneiden fehlgeschlagen"));
    return cropped;
}

QString encodingFailure(const Error& error)
{
    return error.code == encoderErrors::jpegNoDestination ? QStringLiteral("Destination nicht erstellt")
                                                          : QStringLiteral("JPEG-Encoding fehlgeschlagen");
}

/// Writes the crop over the photo's own file (only where it was loaded from), or as a new copy
/// beside it: a name taken meanwhile by another file is left to it, and the next name is tried.
std::expected<QUrl, Error> writeCrop(const BatchCropZiel& target, const QByteArray& bytes, bool overwrite)
{
    if (overwrite) {
        const OwnFileTarget own = ownFileTarget(target);
        auto written =
            writeFileAtomically(own.path, bytes, WriteRules{LinkAtTarget::follow, ExistingFile::replace, own.place});
        return written ? std::expected<QUrl, Error>(QUrl::fromLocalFile(own.path)) : std::unexpected(written.error());
    }
    constexpr int kAttempts = 8;
    for (int attempt = 1;; ++attempt) {
        const QUrl copy = nextCopyURL(target.url);
        auto written =
            writeFileAtomically(copy.toLocalFile(), bytes, WriteRules{LinkAtTarget::replace, ExistingFile::keep, {}});
        if (written)
            return copy;
        if (attempt == kAttempts || !nameTaken(copy.toLocalFile()))
            return std::unexpected(written.error());
    }
}

/// Crops, encodes and writes one photo, adding its outcome to `run`.
void cropOne(const BatchCropZiel& target, QRectF normalizedRect, bool overwrite, CropRun& run)
{
    const QString name = target.url.fileName();
    auto fail = [&](const QString& reason) { run.result.fehler.append(name + QStringLiteral(": ") + reason); };

    auto cropped = renderCrop(target, normalizedRect);
    if (!cropped)
        return fail(cropped.error());
    if (cropped->isNull()) {
        ++run.result.uebersprungen;
        return;
    }
    const QRectF extent(0, 0, cropped->width(), cropped->height());
    auto bytes = encodeJPEG(Image{*cropped, extent}, 0.95);
    if (!bytes)
        return fail(encodingFailure(bytes.error()));
    auto written = writeCrop(target, *bytes, overwrite);
    if (!written)
        return fail(written.error().description);
    const QUrl destination = *written;

    ++run.result.erfolgreich;
    if (!run.result.speicherOrdner)
        run.result.speicherOrdner = QUrl::fromLocalFile(QFileInfo(destination.toLocalFile()).absolutePath());
    if (overwrite) {
        auto original = SourceImage::fromEncoded(*bytes);
        run.replacements.append({target.id, original ? *original : SourceImage::fromRaster(*cropped)});
    }
}

CropRun runCrops(const QList<BatchCropZiel>& targets, QRectF normalizedRect, bool overwrite,
                 const QSet<QString>& denied, const ProgressStreamPtr& progress)
{
    CropRun run;
    const int total = int(targets.size());
    for (int k = 0; k < total; ++k) {
        const BatchCropZiel& target = targets[k];
        if (!overwrite && denied.contains(folderOf(target.url)))
            run.result.fehler.append(target.url.fileName() + QStringLiteral(": Ordner-Zugriff verweigert"));
        else
            cropOne(target, normalizedRect, overwrite, run);
        if (progress)
            progress->yield(double(k + 1) / total);
    }
    if (progress)
        progress->finish({std::nullopt, false, total, total});
    return run;
}

void applyReplacements(ImageProcessor& processor, const QList<Replacement>& replacements)
{
    for (const Replacement& replacement : replacements) {
        const PhotoItem* photo = processor.photo(replacement.id);
        if (!photo)
            continue;
        // The watermark was rendered into the written pixels; keeping the setting would draw
        // it a second time. Cleared first so that replaceImage renders the photo once, right.
        if (photo->edits.watermark) {
            PhotoItem withoutWatermark = *photo;
            withoutWatermark.edits.watermark.reset();
            processor.updatePhoto(withoutWatermark);
        }
        processor.replaceImage(replacement.id, replacement.original);
    }
}

} // namespace

QRect cropPixelRect(QRectF normalizedRect, QSize bitmapSize)
{
    const double W = bitmapSize.width(), H = bitmapSize.height();
    const double x = std::max(0.0, normalizedRect.x() * W);
    const double y = std::max(0.0, normalizedRect.y() * H);
    const double w = std::min(W, normalizedRect.width() * W);
    const double h = std::min(H, normalizedRect.height() * H);
    if (!(w > 0) || !(h > 0))
        return {};
    const int left = int(std::floor(x)), top = int(std::floor(y));
    const int right = int(std::ceil(x + w)), bottom = int(std::ceil(y + h));
    return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)).intersected(QRect(QPoint(0, 0), bitmapSize));
}

QUrl nextCopyURL(const QUrl& url)
{
    const QFileInfo info(url.toLocalFile());
    const QDir folder = info.dir();
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString base = dot > 0 ? name.left(dot) : name;
    auto candidate = [&](const QString& suffix) {
        return folder.filePath(base + QStringLiteral("-neu") + suffix + QStringLiteral(".jpg"));
    };

    // The names as their bytes: Qt's own checks would look for a name that is not UTF-8 under
    // another one, and find it free.
    QString path = candidate({});
    for (int n = 2; nameTaken(path) && n <= 9999; ++n)
        path = candidate(QStringLiteral("-%1").arg(n));
    if (nameTaken(path))
        path = candidate(QLatin1Char('-') + QUuid::createUuid().toString(QUuid::WithoutBraces).left(6).toUpper());
    return QUrl::fromLocalFile(path);
}

void batchCrop(ImageProcessor& processor, const QSet<QUuid>& ids, QRectF normalizedRect, bool overwrite,
               FolderBookmarkStore& folders, std::function<void(BatchCropResult)> done, ProgressStreamPtr progress)
{
    QList<BatchCropZiel> targets;
    const QList<PhotoItem>& photos = processor.photos();
    for (qsizetype i = 0; i < photos.size(); ++i) {
        if (ids.contains(photos[i].id))
            targets.append(snapshotOf(photos[i], int(i)));
    }

    AccessTokens tokens;
    QSet<QString> denied;
    if (!overwrite) {
        QSet<QString> asked;
        for (const BatchCropZiel& target : std::as_const(targets)) {
            const QString folder = folderOf(target.url);
            if (asked.contains(folder))
                continue;
            asked.insert(folder);
            if (auto token = folders.requestAccess(folder))
                tokens.append(std::move(token));
            else
                denied.insert(folder);
        }
    }

    runInBackground(
        &processor,
        [targets = std::move(targets), normalizedRect, overwrite, denied = std::move(denied),
         progress = std::move(progress)] { return runCrops(targets, normalizedRect, overwrite, denied, progress); },
        // The tokens stay alive until the run is applied: the folders are written meanwhile.
        [&processor, tokens = std::move(tokens), done = std::move(done)](CropRun run) mutable {
            applyReplacements(processor, run.replacements);
            tokens.clear();
            if (done)
                done(std::move(run.result));
        });
}

} // namespace lumora
