#include "fileops/SaveExport.h"

#include "base/AtomicFile.h"
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

/// Writes the jobs one after another. The next photo is decoded while the current one is
/// rendered, encoded and written, so the two cores overlap the two codecs; files are still
/// written, and progress reported, strictly in order.
void runWrites(const QList<PhotoSnapshot>& jobs, const TargetOf& targetOf, const std::shared_ptr<CancelToken>& token,
               const ProgressStreamPtr& stream, ExportFormat format, LinkAtTarget links)
{
    const int total = int(jobs.size());
    std::future<Decoded> ahead;
    for (int i = 0; i < total; ++i) {
        if (token && token->isCancelled()) {
            stream->finish(StreamEnd{std::nullopt, true, i, total});
            return;
        }
        Decoded decoded = ahead.valid() ? ahead.get() : jobs[i].originalCI.decode();
        if (i + 1 < total)
            ahead = decodeAhead(jobs[i + 1].originalCI);
        const QString source = jobs[i].url.toLocalFile();
        if (!decoded) {
            stream->finish(StreamEnd{namingFile(decoded.error(), source), false, i, total});
            return;
        }
        const Image image =
            renderDecoded(std::move(*decoded), jobs[i].originalCI.size(), jobs[i].edits, RenderTarget::encoder);
        auto bytes = format == ExportFormat::png ? encodePNG(image) : encodeJPEG(image, 0.95);
        if (!bytes) {
            stream->finish(StreamEnd{aboutPhoto(bytes.error(), source), false, i, total});
            return;
        }
        if (auto written = writeFileAtomically(targetOf(jobs[i]), *bytes, links); !written) {
            stream->finish(StreamEnd{written.error(), false, i, total});
            return;
        }
        stream->yield(double(i + 1) / total);
    }
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
    const QString base = dot < 0 ? name : name.left(dot);
    return QStringLiteral("%1_%2%3")
        .arg(index + 1, width, 10, QLatin1Char('0'))
        .arg(base, format == ExportFormat::png ? QStringLiteral(".png") : QStringLiteral(".jpg"));
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
