#include "model/ImageProcessor.h"

#include "base/Parallel.h"
#include "base/UiThread.h"
#include "model/DisplayRender.h"
#include "pipeline/Overlays.h"
#include "pipeline/Render.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPointer>
#include <cmath>

namespace lumora {

namespace {

/// Text-mark positions moved into the frame of the mirrored and turned photo (mirror first,
/// then turn, as the pipeline shows it and the editor's text layer places them). The labels
/// are then drawn upright there: never mirrored, never turned.
QList<TextMark> marksInTurnedFrame(const QList<TextMark>& marks, const EditState& edits, QSizeF size)
{
    double r = std::fmod(edits.rotation, 360.0);
    if (r < 0)
        r += 360;
    const double w = size.width(), h = size.height();
    QList<TextMark> turned = marks;
    for (TextMark& mark : turned) {
        const QPointF p(edits.flippedH ? w - mark.position.x() : mark.position.x(),
                        edits.flippedV ? h - mark.position.y() : mark.position.y());
        mark.position = p;
        if (std::abs(r - 90) < 1)
            mark.position = {h - p.y(), p.x()};
        else if (std::abs(r - 180) < 1)
            mark.position = {w - p.x(), h - p.y()};
        else if (std::abs(r - 270) < 1)
            mark.position = {p.y(), w - p.x()};
    }
    return turned;
}

/// Neutral adjustment and no masks, overlays (arrows among them) or text marks (a new original's state).
void resetEdits(PhotoItem& photo)
{
    photo.edits.adjustment = AdjustmentState{};
    photo.edits.masks.clear();
    photo.edits.freehandOverlays.clear();
    photo.edits.textMarks.clear();
}

} // namespace

ImageProcessor::ImageProcessor(QObject* parent)
    : QObject(parent), m_decodes(std::make_shared<DecodeCache>(kMinDecodeCacheSize, kDisplaySide))
{
}

ImageProcessor::~ImageProcessor() = default;

PhotoChanges PhotoChanges::between(const QList<PhotoItem>& before, const QList<PhotoItem>& after)
{
    QHash<QUuid, qsizetype> oldIndex;
    oldIndex.reserve(before.size());
    for (qsizetype i = 0; i < before.size(); ++i)
        oldIndex.insert(before[i].id, i);
    PhotoChanges changes;
    QSet<QUuid> kept;
    qsizetype lastOld = -1;
    qsizetype firstNew = after.size();
    for (qsizetype i = 0; i < after.size(); ++i) {
        const PhotoItem& photo = after[i];
        const auto old = oldIndex.constFind(photo.id);
        if (old == oldIndex.cend()) {
            firstNew = std::min(firstNew, i);
            changes.inserted.append(photo.id);
            continue;
        }
        kept.insert(photo.id);
        if (*old < lastOld)
            changes.moved = true;
        lastOld = *old;
        if (firstNew < i)
            firstNew = -1; // a new photo stands before an old one
        const PhotoItem& was = before[*old];
        if (was.thumbnail.cacheKey() != photo.thumbnail.cacheKey() || was.url != photo.url
            || !(was.originalCI == photo.originalCI) || was.edits != photo.edits)
            changes.edited.append(photo.id);
    }
    if (firstNew >= 0)
        std::swap(changes.appended, changes.inserted); // every new photo stands at the end
    for (const PhotoItem& photo : before) {
        if (!kept.contains(photo.id))
            changes.removed.append(photo.id);
    }
    return changes;
}

namespace {

/// A card-size base belongs to the original it was decoded from: a photo handed back with
/// another original but the old base loses it (its next display render makes a new one), so a slider step
/// never shows the old picture on its card.
void dropStaleCardBase(PhotoItem& photo, const PhotoItem* before)
{
    if (before && !(before->originalCI == photo.originalCI) && photo.cardBase.cacheKey() == before->cardBase.cacheKey())
        photo.cardBase = QImage();
}

} // namespace

void ImageProcessor::setPhotos(QList<PhotoItem> photos)
{
    const PhotoChanges changes = PhotoChanges::between(m_photos, photos);
    for (PhotoItem& photo : photos)
        dropStaleCardBase(photo, this->photo(photo.id));
    m_photos = std::move(photos);
    Q_EMIT photosChanged(changes);
}

int ImageProcessor::indexOf(const QUuid& id) const
{
    for (qsizetype i = 0; i < m_photos.size(); ++i) {
        if (m_photos[i].id == id)
            return int(i);
    }
    return -1;
}

const PhotoItem* ImageProcessor::photo(const QUuid& id) const
{
    const int index = indexOf(id);
    return index < 0 ? nullptr : &m_photos[index];
}

void ImageProcessor::updatePhoto(const PhotoItem& photo)
{
    const int index = indexOf(photo.id);
    if (index < 0)
        return;
    PhotoItem updated = photo;
    dropStaleCardBase(updated, &m_photos[index]);
    m_photos[index] = std::move(updated);
    Q_EMIT photosChanged(PhotoChanges::editedOne(photo.id));
}

void ImageProcessor::pushDeleteGroup(QList<DeletedItem> group)
{
    m_deleteUndoStack.append(std::move(group));
    Q_EMIT deleteUndoStackChanged();
}

std::optional<QList<DeletedItem>> ImageProcessor::popDeleteGroup()
{
    if (m_deleteUndoStack.isEmpty())
        return std::nullopt;
    QList<DeletedItem> group = m_deleteUndoStack.takeLast();
    Q_EMIT deleteUndoStackChanged();
    return group;
}

void ImageProcessor::setBatchProcessing(bool on)
{
    if (m_isBatchProcessing == on)
        return;
    m_isBatchProcessing = on;
    Q_EMIT batchProcessingChanged();
}

// --- synchronous edits ------------------------------------------------------------------

namespace {

/// The photo's display images rendered from its display-size decode, kept in `decodes`.
void renderFromDisplayBase(PhotoItem& photo, DecodeCache& decodes)
{
    const QImage base = decodes.displayBase(photo.originalCI);
    if (base.isNull())
        return;
    if (photo.cardBase.isNull())
        photo.cardBase = thumbnailOf(base, kCardBaseSide); // a new original
    const Image image = renderDecoded(base, photo.originalCI.size(), photo.edits);
    auto preview = makePreview(image);
    if (!preview)
        return;
    applyRender(photo, DisplayRender{image, *preview, thumbnailOf(preview->bitmap)});
}

/// `target` with every edit but the watermark and with `marks` baked into a new original (a
/// file in the cache folder), its edits neutral and its display images rendered. Any thread.
PhotoItem flattened(PhotoItem target, const QList<TextMark>& marks, DecodeCache& decodes)
{
    const QList<TextMark> turnedMarks = marksInTurnedFrame(marks, target.edits, QSizeF(target.originalCI.size()));

    // First pass: everything but text marks and watermark, baked into a new original.
    EditState firstPass = target.edits;
    firstPass.textMarks.clear();
    firstPass.watermark.reset();
    if (auto baked = renderImage(target.originalCI, firstPass); baked && !baked->isNull()) {
        target.edits.rotation = 0;
        target.edits.flippedH = false;
        target.edits.flippedV = false;
        // Second pass: the labels, upright in the turned frame, drawn into the new original.
        QImage pixels = baked->raster;
        if (!turnedMarks.isEmpty()) {
            QPainter painter(&pixels);
            paintTextMarks(painter, yUpToDevice(pixels.height()), turnedMarks);
            painter.end();
        }
        // Kept for the session: in the cache folder, not as a full raster in memory.
        target.originalCI = SourceImage::fromRasterInCache(pixels);
        target.cardBase = QImage();
    }
    resetEdits(target);
    renderFromDisplayBase(target, decodes);
    return target;
}

} // namespace

void ImageProcessor::applyAdjustment(const AdjustmentState& adjustment, const QSet<QUuid>& ids)
{
    changeAdjustment([&adjustment](AdjustmentState& a) { a = adjustment; }, ids);
}

void ImageProcessor::changeAdjustment(const std::function<void(AdjustmentState&)>& change, const QSet<QUuid>& ids)
{
    if (m_isBatchProcessing || ids.isEmpty())
        return;
    PhotoChanges changes;
    for (PhotoItem& photo : m_photos) {
        if (!ids.contains(photo.id))
            continue;
        change(photo.edits.adjustment);
        // Only cards on screen are rendered here, from the small base: a step on any number of
        // photos costs a few small renders, and the display renders follow in the background.
        if (!m_cardOnScreen || m_cardOnScreen(photo.id))
            renderCard(photo);
        queueRender(photo.id);
        changes.edited.append(photo.id);
    }
    if (!changes.edited.isEmpty())
        Q_EMIT photosChanged(changes);
}

void ImageProcessor::renderCard(PhotoItem& photo) const
{
    if (photo.cardBase.isNull())
        return;
    const SerialBands serial; // a few small renders: no band threads to wait for
    const Image image = renderDecoded(photo.cardBase, photo.originalCI.size(), photo.edits);
    if (auto preview = makePreview(image))
        photo.thumbnail = preview->bitmap;
}

std::optional<QImage> ImageProcessor::renderFullSize(const QUuid& id) const
{
    const PhotoItem* found = photo(id);
    if (!found)
        return std::nullopt;
    auto render = renderImage(found->originalCI, found->edits);
    if (!render || render->isNull())
        return std::nullopt;
    return render->raster;
}

void ImageProcessor::prepareForEditing(const QUuid& id)
{
    const PhotoItem* found = photo(id);
    if (!found)
        return;
    runInBackground(
        this, [decodes = m_decodes, original = found->originalCI] { return !decodes->displayBase(original).isNull(); },
        [](bool) {});
}

void ImageProcessor::setEdits(const QUuid& id, const EditState& edits)
{
    const int index = indexOf(id);
    if (index < 0 || m_photos[index].edits == edits)
        return;
    m_photos[index].edits = edits;
    queueRender(id);
    Q_EMIT photosChanged(PhotoChanges::editedOne(id));
}

void ImageProcessor::flattenEditsInBackground(const QUuid& id, const QList<TextMark>& marks, QObject* context,
                                              std::function<void(bool)> done)
{
    const PhotoItem* found = photo(id);
    if (!found) {
        done(false);
        return;
    }
    taskStarted();
    runInBackground(
        this, [target = *found, marks, decodes = m_decodes] { return flattened(target, marks, *decodes); },
        [this, before = *found, context = QPointer<QObject>(context), done = std::move(done)](PhotoItem result) {
            taskFinished();
            const int index = indexOf(result.id);
            const bool current =
                index >= 0 && m_photos[index].originalCI == before.originalCI && m_photos[index].edits == before.edits;
            if (current) {
                m_photos[index] = std::move(result);
                Q_EMIT photosChanged(PhotoChanges::editedOne(before.id));
            }
            if (context)
                done(current);
        });
}

void ImageProcessor::replaceImage(const QUuid& id, const SourceImage& newOriginal)
{
    const int index = indexOf(id);
    if (index < 0)
        return;
    PhotoItem& target = m_photos[index];
    target.originalCI = newOriginal;
    target.cardBase = QImage();
    target.edits.rotation = 0;
    target.edits.flippedH = false;
    target.edits.flippedV = false;
    resetEdits(target);
    // Decoding the new original, often a full-size camera photo, is no work for the UI thread:
    // the card keeps its picture until the display render arrives.
    queueRender(id);
    Q_EMIT photosChanged(PhotoChanges::editedOne(id));
}

} // namespace lumora
