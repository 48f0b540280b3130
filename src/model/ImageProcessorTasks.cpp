#include "model/ImageProcessor.h"

#include "base/UiThread.h"
#include "model/DisplayRender.h"

#include <cmath>

// The processor's background work: loading, preview refreshes and the batch operations.

namespace lumora {

// --- loading ---------------------------------------------------------------------------

void ImageProcessor::loadPhotos(const QList<QUrl>& urls, std::function<void()> done)
{
    struct Loaded {
        QUrl url;
        SourceImage original;
        QImage thumbnail;
    };
    taskStarted();
    runInBackground(
        this,
        [urls] {
            QList<Loaded> loaded;
            for (const QUrl& url : urls) {
                auto original = SourceImage::fromFile(url.toLocalFile());
                if (!original)
                    continue;
                // Shrink-on-load: a card can show the photo long before its render is ready,
                // and a file that fails to decode is found out here.
                auto thumbnail = original->decodeToFit(QSize(kThumbnailSide, kThumbnailSide));
                if (!thumbnail)
                    continue;
                loaded.append({url, *original, *thumbnail});
            }
            return loaded;
        },
        [this, done = std::move(done)](QList<Loaded> loaded) {
            taskFinished();
            QSet<QUrl> present;
            for (const PhotoItem& photo : m_photos)
                present.insert(photo.url);
            PhotoChanges changes;
            for (Loaded& item : loaded) {
                if (present.contains(item.url))
                    continue; // the same URL twice within one call is kept twice
                PhotoItem photo;
                photo.url = item.url;
                photo.originalCI = item.original;
                photo.thumbnail = item.thumbnail;
                changes.appended.append(photo.id);
                m_photos.append(std::move(photo));
            }
            if (!changes.appended.isEmpty())
                Q_EMIT photosChanged(changes);
            if (done)
                done();
            refreshPreviews();
        });
}

void ImageProcessor::refreshPreviews()
{
    QList<PhotoSnapshot> jobs;
    for (qsizetype i = 0; i < m_photos.size(); ++i) {
        // Photos already showing their current state are not rendered again: every load
        // refreshes, and re-rendering the whole list after each dropped file would grow with
        // the square of the photo count.
        if (!previewIsCurrent(m_photos[i]))
            jobs.append(snapshotOf(m_photos[i], int(i)));
    }
    if (jobs.isEmpty())
        return;
    taskStarted();
    const UiChannel channel(this);
    startInBackground([this, channel, jobs] {
        // `this` is used only inside the posted calls, which run on the UI thread while the
        // processor exists.
        for (const PhotoSnapshot& job : jobs) {
            auto render = renderForDisplay(job.originalCI, job.edits);
            if (!render)
                continue; // the photo keeps its earlier preview
            channel.post([this, job, render = *render] { applyRenders({{job, render}}); });
        }
        channel.post([this] { taskFinished(); });
    });
}

QList<QUuid> ImageProcessor::applyRenders(const QList<std::pair<PhotoSnapshot, DisplayRender>>& results)
{
    PhotoChanges changes;
    for (const auto& [job, render] : results) {
        const int index = indexOf(job.id);
        if (index >= 0 && m_photos[index].originalCI == job.originalCI && m_photos[index].edits == job.edits) {
            applyRender(m_photos[index], render);
            changes.edited.append(job.id);
        }
    }
    if (!changes.edited.isEmpty())
        Q_EMIT photosChanged(changes);
    return changes.edited;
}

// --- batch operations ---------------------------------------------------------------------

void ImageProcessor::startBatch(const QSet<QUuid>& ids, const std::function<void(PhotoItem&)>& change)
{
    setBatchProcessing(true);
    QList<PhotoSnapshot> jobs;
    PhotoChanges changes;
    for (qsizetype i = 0; i < m_photos.size(); ++i) {
        PhotoItem& photo = m_photos[i];
        if (!ids.contains(photo.id))
            continue;
        change(photo);
        jobs.append(snapshotOf(photo, int(i)));
        changes.edited.append(photo.id);
    }
    if (!jobs.isEmpty())
        Q_EMIT photosChanged(changes);
    taskStarted();
    runInBackground(
        this,
        [jobs] {
            QList<std::pair<PhotoSnapshot, DisplayRender>> results;
            for (const PhotoSnapshot& job : jobs) {
                if (auto render = renderForDisplay(job.originalCI, job.edits))
                    results.append({job, *render});
            }
            return results;
        },
        [this](QList<std::pair<PhotoSnapshot, DisplayRender>> results) {
            taskFinished();
            applyRenders(results);
            // The flag is cleared by a separate, later step, as the first finished batch does.
            postTo(this, [this] { setBatchProcessing(false); });
        });
}

void ImageProcessor::rotate(const QSet<QUuid>& ids, RotationDirection direction)
{
    const double step = direction == RotationDirection::left ? 90.0 : -90.0;
    startBatch(ids, [step](PhotoItem& photo) { photo.edits.rotation = std::fmod(photo.edits.rotation + step, 360.0); });
}

void ImageProcessor::flip(const QSet<QUuid>& ids, FlipDirection direction)
{
    startBatch(ids, [direction](PhotoItem& photo) {
        if (direction == FlipDirection::horizontal)
            photo.edits.flippedH = !photo.edits.flippedH;
        else
            photo.edits.flippedV = !photo.edits.flippedV;
    });
}

void ImageProcessor::applyWatermark(const QSet<QUuid>& ids, const std::optional<Watermark>& watermark)
{
    startBatch(ids, [&watermark](PhotoItem& photo) { photo.edits.watermark = watermark; });
}

} // namespace lumora
