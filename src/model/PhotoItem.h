#pragma once

#include "pipeline/EditState.h"
#include "pipeline/Image.h"
#include "pipeline/SourceImage.h"

#include <QByteArray>
#include <QList>
#include <QUrl>
#include <QUuid>
#include <memory>
#include <optional>

namespace lumora {

enum class RotationDirection { left, right };  ///< left: +90° (counter-clockwise), right: −90°
enum class FlipDirection { horizontal, vertical };

/// What a photo's current preview was rendered from.
struct RenderedFrom {
    SourceImage original;
    EditState edits;
};

/// One loaded photo with its complete, non-destructive edit state. Identified by `id`;
/// geometry is in pixels of `originalCI` (origin lower-left, y up). Copying shares all pixels.
struct PhotoItem {
    QUuid id = QUuid::createUuid();
    QUrl url;
    SourceImage originalCI;
    std::optional<Image> filteredCI;
    std::optional<Preview> preview;
    /// A small version of the current render for the grid's cards (long side about 384 px);
    /// right after loading, the shrink-on-load decode of the original.
    QImage thumbnail;
    double rotation = 0;
    bool flippedH = false;
    bool flippedV = false;
    std::optional<Watermark> watermark;
    AdjustmentState adjustment;
    QList<MaskRect> masks;
    QList<Overlay> freehandOverlays;
    QList<Arrow> arrows;
    QList<TextMark> textMarks;
    /// The original and edit state behind `preview` (none before the first render).
    std::shared_ptr<const RenderedFrom> renderedFrom;
};

/// What rendering needs of a photo, copied on the UI thread for background work.
struct PhotoSnapshot {
    int index = 0;
    QUuid id;
    SourceImage originalCI;
    AdjustmentState adjustment;
    double rotation = 0;
    bool flippedH = false;
    bool flippedV = false;
    std::optional<Watermark> watermark;
    QList<MaskRect> masks;
    QList<Overlay> freehandOverlays;
    QList<TextMark> textMarks;
};

/// One target photo of a batch crop.
struct BatchCropZiel {
    QUuid id;
    QUrl url;
    SourceImage originalCI;
    AdjustmentState adjustment;
    double rotation = 0;
    bool flippedH = false;
    bool flippedV = false;
    std::optional<Watermark> watermark;
    QList<MaskRect> masks;
    QList<Overlay> freehandOverlays;
    QList<TextMark> textMarks;
};

/// Summary of a batch crop.
struct BatchCropResult {
    int erfolgreich = 0;
    int uebersprungen = 0;
    QStringList fehler;
    std::optional<QUrl> speicherOrdner;
};

/// One entry of a deletion undo group; `originalData` holds the file's bytes when the file
/// itself was deleted, and is absent when the photo was only taken out of the list.
struct DeletedItem {
    PhotoItem photo;
    std::optional<QByteArray> originalData;
};

/// The edit state of any photo record, as the render chain reads it.
template <typename Photo>
[[nodiscard]] EditState editStateOf(const Photo& photo)
{
    return EditState{photo.adjustment, photo.rotation,   photo.flippedH,         photo.flippedV,
                     photo.watermark,  photo.masks,      photo.freehandOverlays, photo.textMarks};
}

[[nodiscard]] PhotoSnapshot snapshotOf(const PhotoItem& photo, int index);

} // namespace lumora
