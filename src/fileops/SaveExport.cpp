#include "fileops/SaveExport.h"

#include "base/AtomicFile.h"
#include "base/NativePath.h"
#include "base/UiThread.h"
#include "model/ImageProcessor.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"

#include <QDir>
#include <QFileInfo>
#include <future>

namespace lumora {

namespace {

/// Where a photo of a run is written.
using TargetOf = std::function<QString(const PhotoSnapshot&)>;

using Decoded = std::expected<QImage, Error>;
using Written = std::expected<void, Error>;

/// An encoder's error with the photo it was encoding named after its fixed text.
Error aboutPhoto(Error error, const QString& path)
{
    error.description += QStringLiteral(" (") + quotedName(path) + QLatin1Char(')');
    return error;
}

std::future<Decoded> decodeAhead(const SourceImage& original)
{
    return std::async(std::launch::async, [original] { return original.decode(); });
}

std::future<Written> encodeAndWrite(Image image, QString source, QString target, ExportFormat format,
                                    LinkAtTarget links)
{
    return std::async(std::launch::async, [image = std::move(image), source = std::move(source),
                                           target = std::move(target), format, links] {
        auto bytes = format == ExportFormat::png ? encodePNG(image) : encodeJPEG(image, 0.95);
        if (!bytes)
            return Written(std::unexpected(aboutPhoto(bytes.error(), source)));
        return writeFileAtomically(target, *bytes, links);
    });
}

/// Writes the jobs as a pipeline: photo i + 1 is decoded while photo i is encoded and written,
/// and photo i is rendered (on both cores) while the write of photo i − 1 ends, with at most
/// three full-size rasters alive. Files are still written, and progress reported, strictly in order;
/// the first failure ends the run after the write before it has finished.
void runWrites(const QList<PhotoSnapshot>& jobs, const TargetOf& targetOf, const std::shared_ptr<CancelToken>& token,
               const ProgressStreamPtr& stream, ExportFormat format, LinkAtTarget links)
{
    const int total = int(jobs.size());
    std::future<Decoded> ahead = total > 0 ? decodeAhead(jobs[0].originalCI) : std::future<Decoded>();
    std::future<Written> writing; // the write of photo i − 1
    // Waits for the write of photo i − 1; false (and the run finished) when it failed.
    const auto previousWritten = [&](int i) {
        if (!writing.valid())
            return true;
        const Written written = writing.get();
        if (!written) {
            stream->finish(StreamEnd{written.error(), false, i - 1, total});
            return false;
        }
        stream->yield(double(i) / total);
        return true;
    };
    for (int i = 0; i < total; ++i) {
        if (token && token->isCancelled()) {
            if (previousWritten(i))
                stream->finish(StreamEnd{std::nullopt, true, i, total});
            return;
        }
        Decoded decoded = ahead.get();
        const QString source = jobs[i].url.toLocalFile();
        if (!decoded) {
            // The encoder's own text first, then which photo could not be decoded and why.
            const auto code = format == ExportFormat::png ? encoderErrors::pngNoImage : encoderErrors::jpegNoImage;
            Error error = encodingError(code);
            error.description += QStringLiteral(": ") + namingFile(decoded.error(), source).description;
            if (previousWritten(i))
                stream->finish(StreamEnd{error, false, i, total});
            return;
        }
        Image image = renderDecoded(std::move(*decoded), jobs[i].originalCI.size(), jobs[i].edits);
        // The render keeps both cores busy on its own; the next decode starts after it, beside
        // this photo's encode, so no more than three full-size rasters are alive at a time.
        if (i + 1 < total)
            ahead = decodeAhead(jobs[i + 1].originalCI);
        if (!previousWritten(i))
            return;
        writing = encodeAndWrite(std::move(image), source, targetOf(jobs[i]), format, links);
    }
    if (previousWritten(total))
        stream->finish(StreamEnd{std::nullopt, false, total, total});
}

ProgressStreamPtr start(QList<PhotoSnapshot> jobs, TargetOf targetOf, std::shared_ptr<CancelToken> token,
                        ExportFormat format, LinkAtTarget links)
{
    ProgressStreamPtr stream = ProgressStream::create();
    startInBackground([jobs = std::move(jobs), targetOf = std::move(targetOf), token = std::move(token), stream, format,
                       links] { runWrites(jobs, targetOf, token, stream, format, links); });
    return stream;
}

QList<PhotoSnapshot> snapshotsOf(const QList<PhotoItem>& photos, qsizetype count)
{
    QList<PhotoSnapshot> snapshots;
    for (qsizetype i = 0; i < photos.size() && i < count; ++i)
        snapshots.append(snapshotOf(photos[i], int(i)));
    return snapshots;
}

} // namespace

int numberWidth(int count)
{
    return int(QString::number(std::max(count, 0)).size());
}

QString exportFileName(int index, int width, const QUrl& url, ExportFormat format)
{
    const QString name = QFileInfo(url.path()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString base = dot < 0 ? name : name.left(dot);
    const QString number = QStringLiteral("%1_").arg(index + 1, width, 10, QLatin1Char('0'));
    const QString ending = format == ExportFormat::png ? QStringLiteral(".png") : QStringLiteral(".jpg");
    // The number and the ending may take a name past what a file system holds: the base name
    // gives way, whole characters at a time, so the export goes on.
    while (!base.isEmpty() && nativePath(number + base + ending).size() > kMaxFileNameBytes) {
        const bool pair = base.size() > 1 && base.back().isLowSurrogate() && base[base.size() - 2].isHighSurrogate();
        base.chop(pair ? 2 : 1);
    }
    return number + base + ending;
}

ProgressStreamPtr saveOverOriginals(const ImageProcessor& processor, std::shared_ptr<CancelToken> token)
{
    return start(
        snapshotsOf(processor.photos(), processor.photos().size()),
        [](const PhotoSnapshot& photo) { return photo.url.toLocalFile(); }, std::move(token), ExportFormat::jpeg,
        LinkAtTarget::follow); // an original reached through a link is the photo the user opened
}

ProgressStreamPtr exportPhotos(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token, int width,
                               const QString& folder, int count, ExportFormat format)
{
    const QDir dir(folder);
    return start(
        snapshotsOf(snapshot, count),
        [dir, width, format](const PhotoSnapshot& photo) {
            return dir.filePath(exportFileName(photo.index, width, photo.url, format));
        },
        std::move(token), format, LinkAtTarget::replace);
}

ProgressStreamPtr exportJPEG(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token, int width,
                             const QString& folder, int count)
{
    return exportPhotos(snapshot, std::move(token), width, folder, count, ExportFormat::jpeg);
}

ProgressStreamPtr exportPNG(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token, int width,
                            const QString& folder, int count)
{
    return exportPhotos(snapshot, std::move(token), width, folder, count, ExportFormat::png);
}

} // namespace lumora
