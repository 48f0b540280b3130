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
    /// The file is a camera RAW file: JPEG bytes meant to replace it go beside it (see
    /// ownFileTarget), whatever the photo's original became since.
    bool cameraRawFile = false;
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
    bool cameraRawFile = false;
};

/// Where JPEG bytes that take the place of a photo's file are written, and the place a write
/// there must land in (see WriteRules::place).
struct OwnFileTarget {
    QString path;
    FilePlace place;
};

/// The JPEG written for the camera RAW file `fileName`, beside it: the name without its
/// extension, "-", the extension as written, ".jpg" ("IMG_0042.CR2" → "IMG_0042-CR2.jpg"), so
/// it never takes the name of the camera's own JPEG; a name without an extension gets ".jpg".
[[nodiscard]] QString besideRawName(const QString& fileName);

/// Where "Speichern", a crop over the original and a new background over the photo's file write
/// it: the photo's own file where it was loaded from, or for a camera RAW file the JPEG beside
/// it (besideRawName, in the same folder), so the sensor data are never overwritten.
[[nodiscard]] OwnFileTarget ownFileTarget(const QUrl& url, const FilePlace& loadedFrom, bool cameraRawFile);
[[nodiscard]] OwnFileTarget ownFileTarget(const PhotoSnapshot& photo);

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
