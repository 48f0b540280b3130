#pragma once

#include "base/AtomicFile.h"
#include "base/RegularFile.h"
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

enum class RotationDirection { left, right }; ///< left: +90° (counter-clockwise), right: −90°
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
    /// Where the file was when it was loaded: writes over it go there or nowhere.
    FilePlace loadedFrom;
    /// Which version of the file was loaded (size, modification time, inode).
    FileIdentity fileIdentity;
    SourceImage originalCI;
    std::optional<Image> filteredCI;
    std::optional<Preview> preview;
    /// A small version of the current render for the grid's cards (long side about 384 px);
    /// right after loading, the shrink-on-load decode of the original.
    QImage thumbnail;
    /// The original decoded at thumbnail size when it was loaded (or given a new original):
    /// what a card is rendered from at once after an edit, before its display render arrives.
    QImage cardBase;
    /// Everything the render chain reads: adjustment, turn, mirrors, watermark, masks,
    /// overlays and text marks.
    EditState edits;
    /// The original and edit state behind `preview` (none before the first render).
    std::shared_ptr<const RenderedFrom> renderedFrom;

    /// The arrows drawn on the photo, in the order drawn: the arrow overlays among its
    /// `edits.freehandOverlays`, which is where they are kept and rendered.
    [[nodiscard]] QList<Arrow> arrows() const;
};

/// What background work needs of a photo, copied on the UI thread: the job of every load
/// refresh, batch render, write and crop. Results come back matched by `id`; a result whose
/// `originalCI` and `edits` no longer match the photo's is stale.
struct PhotoSnapshot {
    int index = 0; ///< the photo's position in the list when the snapshot was taken
    QUuid id;
    QUrl url;
    SourceImage originalCI;
    EditState edits;
    FilePlace loadedFrom;
};

/// One target photo of a batch crop: a snapshot like any other background job.
using BatchCropZiel = PhotoSnapshot;

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

/// The photo as a background job; `index` is its position in the list.
[[nodiscard]] PhotoSnapshot snapshotOf(const PhotoItem& photo, int index);

} // namespace lumora
