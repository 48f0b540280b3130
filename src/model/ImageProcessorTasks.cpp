#include "model/ImageProcessor.h"

#include "base/UiThread.h"
#include "model/DisplayRender.h"
#include "pipeline/Render.h"

#include <QFileInfo>
#include <cmath>
#include <future>
#include <malloc.h>
#include <utility>

// The processor's background work: loading, preview refreshes and the batch operations.

namespace lumora {

// --- loading ---------------------------------------------------------------------------

struct ImageProcessor::Loaded {
    PhotoRestore request;
    QString problem; ///< why a restored photo is left out
    QUrl url;
    FilePlace place;
    FileIdentity identity;
    bool cameraRaw = false; ///< the file (not a kept original) is a camera RAW file
    SourceImage original;   ///< null when the file could not be decoded
    QImage thumbnail;
    QImage cardBase;
};

void ImageProcessor::loadPhotos(const QList<QUrl>& urls, std::function<void()> done)
{
    QList<PhotoRestore> requests;
    for (const QUrl& url : urls)
        requests.append(PhotoRestore{{}, url, {}, {}, {}, {}});
    m_loads.append({requests, false, [done = std::move(done)](const QStringList&) {
                        if (done)
                            done();
                    }});
    setLoadProgress({m_loadProgress.handled, m_loadProgress.total + int(urls.size())});
    if (m_loads.size() == 1)
        startNextLoad();
}

void ImageProcessor::restorePhotos(const QList<PhotoRestore>& photos, std::function<void(QStringList)> done)
{
    m_loads.append({photos, true, std::move(done)});
    setLoadProgress({m_loadProgress.handled, m_loadProgress.total + int(photos.size())});
    if (m_loads.size() == 1)
        startNextLoad();
}

namespace {

/// Why a photo of a session cannot be restored as `request` says, or nothing. Reads the file's
/// identity before and after its bytes (or the kept original's) are read, so a file changed
/// meanwhile is never given the old edits. `cameraRaw` tells whether the file itself is a camera
/// RAW file, also when the photo's original is one the journal kept: JPEG bytes must never
/// replace the sensor data.
std::expected<SourceImage, QString> restoredOriginal(const PhotoRestore& request, bool& cameraRaw)
{
    const QString path = request.url.toLocalFile();
    const auto before = identityOf(path);
    if (!before)
        return std::unexpected(QFileInfo::exists(path) ? QStringLiteral("Das ist keine reguläre Datei.")
                                                       : QStringLiteral("Die Datei ist nicht mehr da."));
    if (!(*before == request.identity))
        return std::unexpected(QStringLiteral("Die Datei wurde seitdem verändert."));
    auto original = SourceImage::fromFile(request.originalPath.isEmpty() ? path : request.originalPath);
    if (!original)
        return std::unexpected(original.error().description);
    if (request.originalPath.isEmpty()) {
        cameraRaw = original->isCameraRaw();
    } else {
        const auto file = SourceImage::fromFile(path);
        if (!file)
            return std::unexpected(file.error().description);
        cameraRaw = file->isCameraRaw();
    }
    if (!(identityOf(path) == before))
        return std::unexpected(QStringLiteral("Die Datei wurde seitdem verändert."));
    if (request.originalSize.isValid() && original->size() != request.originalSize)
        return std::unexpected(QStringLiteral("Das Original hat nicht mehr die Größe der Änderungen."));
    return *original;
}

/// The display render of `job` from its display-size decode; none when there is none.
std::optional<DisplayRender> renderDisplayBase(QImage base, const PhotoSnapshot& job)
{
    if (base.isNull())
        return std::nullopt;
    const Image image = renderDecoded(std::move(base), job.originalCI.size(), job.edits);
    auto preview = makePreview(image);
    if (!preview)
        return std::nullopt;
    return DisplayRender{image, *preview, thumbnailOf(preview->bitmap)};
}

std::expected<SourceImage, QString> fromFileWithReason(const QString& path)
{
    auto original = SourceImage::fromFile(path);
    if (!original)
        return std::unexpected(original.error().description);
    return *original;
}

} // namespace

void ImageProcessor::startNextLoad()
{
    if (m_loads.isEmpty())
        return;
    m_loadAppended.clear();
    const UiChannel channel(this);
    startInBackground([this, channel, requests = m_loads.first().requests, restore = m_loads.first().restore] {
        // `this` is used only inside the posted calls, which run on the UI thread while the
        // processor exists. Each photo is handed over the moment it is decoded, so cards
        // appear one by one, in the given order.
        // The next file is read (and its header looked at) while the card of the one before is
        // decoded: reading a large file, a camera RAW file of 50 MB, is copying that the other
        // core does meanwhile. One file is read ahead at most.
        const auto readAhead = [restore](const PhotoRestore& request) {
            return std::async(std::launch::async, [request, restore] {
                const QString path = request.url.toLocalFile();
                Loaded item{request, {}, request.url, {}, {}, false, {}, {}, {}};
                // Taken before the bytes are read: a file changed meanwhile then looks changed later.
                item.identity = identityOf(path).value_or(FileIdentity{});
                auto original = restore ? restoredOriginal(request, item.cameraRaw) : fromFileWithReason(path);
                if (!original) {
                    item.problem = original.error();
                } else {
                    if (!restore)
                        item.cameraRaw = original->isCameraRaw();
                    item.place = placeOf(path);
                    item.original = std::move(*original);
                }
                return item;
            });
        };
        std::future<Loaded> ahead = requests.isEmpty() ? std::future<Loaded>() : readAhead(requests.first());
        std::vector<SourceImage> sensorFiles;
        for (qsizetype i = 0; i < requests.size(); ++i) {
            Loaded item = ahead.get();
            if (i + 1 < requests.size())
                ahead = readAhead(requests[i + 1]);
            const SourceImage original = std::exchange(item.original, SourceImage());
            // Shrink-on-load: a card can show the photo long before its render is ready, and a
            // file that fails to decode is found out here.
            if (!original.isNull()) {
                if (auto thumbnail = original.decodeToFit(QSize(kThumbnailSide, kThumbnailSide))) {
                    item.original = original;
                    item.cardBase = thumbnailOf(*thumbnail, kCardBaseSide);
                    item.thumbnail = *thumbnail;
                    if (original.isCameraRaw())
                        sensorFiles.push_back(original);
                } else {
                    item.problem = thumbnail.error().description;
                }
            }
            channel.post([this, item = std::move(item)]() mutable { loadArrived(std::move(item)); });
        }
        channel.post([this] { loadEnded(); });
        // A camera RAW file's card came from its header and preview alone. Its whole bytes are
        // read once every card is there, and kept as a JPEG's are: a card taken out after
        // loading must not take the photo with it. One that cannot be read now is read again
        // at its decode, which then says why.
        for (const SourceImage& file : sensorFiles)
            (void)file.keepWhole();
        // Their previews, dropped now, lay among other memory of the heap: given back to the
        // system, so that a grid of RAW photos holds no more than their files.
        if (!sensorFiles.empty())
            ::malloc_trim(0);
    });
}

void ImageProcessor::loadArrived(Loaded item)
{
    setLoadProgress({m_loadProgress.handled + 1, m_loadProgress.total});
    if (item.original.isNull()) {
        if (m_loads.first().restore)
            m_loadSkipped.append(QStringLiteral("„%1“: %2").arg(item.url.fileName(), item.problem));
        return;
    }
    // A URL already in the list before this load is dropped; this load's own photos do not
    // count, so a URL given twice is kept twice.
    for (const PhotoItem& photo : m_photos) {
        if (photo.url == item.url && !m_loadAppended.contains(photo.id))
            return;
    }
    PhotoItem photo;
    if (!item.request.id.isNull() && indexOf(item.request.id) < 0)
        photo.id = item.request.id;
    photo.edits = item.request.edits;
    photo.url = item.url;
    photo.loadedFrom = item.place;
    photo.fileIdentity = item.identity;
    photo.cameraRawFile = item.cameraRaw;
    photo.originalCI = item.original;
    photo.thumbnail = item.thumbnail;
    photo.cardBase = item.cardBase;
    m_loadAppended.insert(photo.id);
    // A restored photo's card shows its edits at once, rendered from the card-size base.
    if (photo.edits != EditState{})
        renderCard(photo);
    m_photos.append(photo);
    m_decodes->setCapacity(std::max(kMinDecodeCacheSize, m_photos.size()));
    Q_EMIT photosChanged(PhotoChanges{{photo.id}, {}, {}, {}, false});
    queueRender(photo.id);
}

void ImageProcessor::loadEnded()
{
    PendingLoad finished = m_loads.takeFirst();
    m_loadAppended.clear();
    const QStringList skipped = std::exchange(m_loadSkipped, {});
    if (m_loads.isEmpty())
        setLoadProgress({});
    if (finished.done)
        finished.done(skipped);
    refreshPreviews();
    startNextLoad();
}

void ImageProcessor::setLoadProgress(LoadProgress progress)
{
    if (progress == m_loadProgress)
        return;
    m_loadProgress = progress;
    Q_EMIT loadProgressChanged();
}

// --- display renders -----------------------------------------------------------------------

void ImageProcessor::refreshPreviews()
{
    for (qsizetype i = 0; i < m_photos.size(); ++i) {
        // Photos already showing their current state are not rendered again: every load
        // refreshes, and re-rendering the whole list after each dropped file would grow with
        // the square of the photo count.
        if (!previewIsCurrent(m_photos[i]))
            queueRender(m_photos[i].id);
    }
}

void ImageProcessor::queueRender(const QUuid& id)
{
    if (!m_renderQueued.contains(id)) {
        m_renderQueued.insert(id);
        m_renderOrder.append(id);
    }
    renderNext();
}

void ImageProcessor::renderNext()
{
    while (!m_rendering && !m_renderOrder.isEmpty()) {
        const QUuid id = m_renderOrder.takeFirst();
        m_renderQueued.remove(id);
        const int index = indexOf(id);
        if (index < 0 || previewIsCurrent(m_photos[index]))
            continue; // gone, or rendered on the UI thread meanwhile
        const PhotoItem* current = &m_photos[index];
        const PhotoSnapshot job = snapshotOf(*current, index); // the latest state wins
        // A photo rendered before is being edited: its display-size decode is kept for the
        // steps that follow. A first render decodes without keeping it.
        const bool edited = current->preview.has_value();
        // A photo given a new original lost its card base: the render makes a new one.
        const bool needsCardBase = current->cardBase.isNull();
        struct Rendered {
            std::optional<DisplayRender> render;
            QImage cardBase;
        };
        m_rendering = true;
        runInBackground(
            this,
            [job, edited, needsCardBase, decodes = m_decodes]() -> Rendered {
                if (!edited) {
                    QImage cardBase;
                    if (needsCardBase) {
                        if (auto small = job.originalCI.decodeToFit(QSize(kCardBaseSide, kCardBaseSide)))
                            cardBase = *small;
                    }
                    return {renderForDisplay(job.originalCI, job.edits), cardBase};
                }
                QImage base = decodes->displayBase(job.originalCI);
                if (base.isNull())
                    return {};
                const QImage cardBase = needsCardBase ? thumbnailOf(base, kCardBaseSide) : QImage();
                return {renderDisplayBase(std::move(base), job), cardBase};
            },
            [this, job](Rendered result) {
                m_rendering = false;
                if (const int at = indexOf(job.id); at >= 0 && !result.cardBase.isNull()
                                                    && m_photos[at].cardBase.isNull()
                                                    && m_photos[at].originalCI == job.originalCI)
                    m_photos[at].cardBase = result.cardBase;
                if (result.render) // otherwise the photo keeps its earlier preview
                    applyRenders({{job, *result.render}});
                renderNext();
            });
    }
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

void ImageProcessor::renderFullSizeInBackground(const QUuid& id, std::function<void(std::optional<QImage>)> done)
{
    const PhotoItem* found = photo(id);
    if (!found) {
        done(std::nullopt);
        return;
    }
    runInBackground(
        this,
        [original = found->originalCI, edits = found->edits]() -> std::optional<QImage> {
            auto render = renderImage(original, edits);
            if (!render || render->isNull())
                return std::nullopt;
            return render->raster;
        },
        std::move(done));
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
        // A card on screen shows the change at once, from its small base (as a slider step
        // does); the sharp previews and the other cards follow from the batch.
        if (!m_cardOnScreen || m_cardOnScreen(photo.id))
            renderCard(photo);
        jobs.append(snapshotOf(photo, int(i)));
        changes.edited.append(photo.id);
    }
    if (!jobs.isEmpty())
        Q_EMIT photosChanged(changes);
    taskStarted();
    runInBackground(
        this,
        [jobs, decodes = m_decodes] {
            // From the kept display-size decodes: a turn of 60 photos of 24 MP otherwise
            // decoded every file again, and the next change of the same photos decodes none.
            QList<std::pair<PhotoSnapshot, DisplayRender>> results;
            for (const PhotoSnapshot& job : jobs) {
                if (auto render = renderDisplayBase(decodes->displayBase(job.originalCI), job))
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
