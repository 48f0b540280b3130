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
            QList<PhotoItem> added;
            for (Loaded& item : loaded) {
                if (present.contains(item.url))
                    continue; // the same URL twice within one call is kept twice
                PhotoItem photo;
                photo.url = item.url;
                photo.originalCI = item.original;
                photo.thumbnail = item.thumbnail;
                added.append(std::move(photo));
            }
            if (!added.isEmpty()) {
                m_photos.append(added);
                Q_EMIT photosChanged();
            }
            if (done)
                done();
            refreshPreviews();
        });
}

void ImageProcessor::refreshPreviews()
{
    struct Job {
        QUuid id;
        SourceImage original;
        EditState edits;
    };
    QList<Job> jobs;
    for (const PhotoItem& photo : m_photos) {
        // Photos already showing their current state are not rendered again: every load
        // refreshes, and re-rendering the whole list after each dropped file would grow with
        // the square of the photo count.
        if (!previewIsCurrent(photo))
            jobs.append({photo.id, photo.originalCI, editStateOf(photo)});
    }
    if (jobs.isEmpty())
        return;
    taskStarted();
    const UiChannel channel(this);
    QThreadPool::globalInstance()->start([this, channel, jobs] {
        // `this` is used only inside the posted calls, which run on the UI thread while the
        // processor exists.
        for (const Job& job : jobs) {
            auto render = renderForDisplay(job.original, job.edits);
            if (!render)
                continue; // the photo keeps its earlier preview
            channel.post([this, job, render = *render] {
                const int index = indexOf(job.id);
                // A photo edited since the snapshot keeps its newer render.
                if (index < 0 || !(m_photos[index].originalCI == job.original) || editStateOf(m_photos[index]) != job.edits)
                    return;
                applyRender(m_photos[index], render);
                Q_EMIT photosChanged();
            });
        }
        channel.post([this] { taskFinished(); });
    });
}

// --- batch operations ---------------------------------------------------------------------

void ImageProcessor::startBatch(const QSet<QUuid>& ids, const std::function<void(PhotoItem&)>& change)
{
    setBatchProcessing(true);
    struct Job {
        QUuid id;
        SourceImage original;
        EditState edits;
    };
    QList<Job> jobs;
    for (PhotoItem& photo : m_photos) {
        if (!ids.contains(photo.id))
            continue;
        change(photo);
        jobs.append({photo.id, photo.originalCI, editStateOf(photo)});
    }
    if (!jobs.isEmpty())
        Q_EMIT photosChanged();
    taskStarted();
    runInBackground(
        this,
        [jobs] {
            QList<std::pair<Job, DisplayRender>> results;
            for (const Job& job : jobs) {
                if (auto render = renderForDisplay(job.original, job.edits))
                    results.append({job, *render});
            }
            return results;
        },
        [this](QList<std::pair<Job, DisplayRender>> results) {
            taskFinished();
            for (const auto& [job, render] : results) {
                const int index = indexOf(job.id);
                // A photo changed again since (another turn, say) waits for its newer render.
                if (index >= 0 && m_photos[index].originalCI == job.original
                    && editStateOf(m_photos[index]) == job.edits)
                    applyRender(m_photos[index], render);
            }
            if (!results.isEmpty())
                Q_EMIT photosChanged();
            // The flag is cleared by a separate, later step, as the first finished batch does.
            postTo(this, [this] { setBatchProcessing(false); });
        });
}

void ImageProcessor::rotate(const QSet<QUuid>& ids, RotationDirection direction)
{
    const double step = direction == RotationDirection::left ? 90.0 : -90.0;
    startBatch(ids, [step](PhotoItem& photo) { photo.rotation = std::fmod(photo.rotation + step, 360.0); });
}

void ImageProcessor::flip(const QSet<QUuid>& ids, FlipDirection direction)
{
    startBatch(ids, [direction](PhotoItem& photo) {
        if (direction == FlipDirection::horizontal)
            photo.flippedH = !photo.flippedH;
        else
            photo.flippedV = !photo.flippedV;
    });
}

void ImageProcessor::applyWatermark(const QSet<QUuid>& ids, const std::optional<Watermark>& watermark)
{
    startBatch(ids, [&watermark](PhotoItem& photo) { photo.watermark = watermark; });
}

} // namespace lumora
