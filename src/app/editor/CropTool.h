#pragma once

#include "app/editor/EditorTool.h"
#include "model/PhotoItem.h"

#include <QList>
#include <QRectF>
#include <QSize>
#include <QSizeF>
#include <QUuid>
#include <optional>

namespace lumora {

/// The summary of a finished crop run, lines joined with "\n": the written count with "überschrieben"
/// or "als Kopie gespeichert" and the "Speicherort: " folder, the skipped count, the error count
/// with the first five errors and "… und N weitere", or "Keine Fotos verarbeitet." when there is
/// nothing to say.
[[nodiscard]] QString cropSummary(const BatchCropResult& result, bool overwrite);

/// The crop frame `frame` (canvas points) as fractions of the image fitted into a canvas of
/// `canvas` size, for an image of `orientedSize` as displayed (origin top-left): the frame is
/// cut to the image on every side, so a frame reaching past an edge keeps only what it covers
/// of the image. None when either fraction is not above CropTool::kMinimumFraction (also for a
/// frame outside the image), or when the image cannot be fitted (a side of either size is not
/// positive).
[[nodiscard]] std::optional<QRectF> normalizedCropRect(const QRectF& frame, QSizeF orientedSize, QSizeF canvas);

/// The `crop` mode: a frame is dragged out (or moved when the drag starts inside it) or set
/// from a typed pixel size, then checked, confirmed and handed to the batch crop for the edited
/// photo or for every selected photo. The frame is free to leave the image; the check cuts it.
/// The crop runs in the background; while it runs `isCropping` stays set and progress() says
/// how far it is. UI thread only.
class CropTool : public EditorTool {
public:
    /// A frame must be wider and higher than this many canvas points.
    static constexpr double kMinimumSide = 5;
    /// The normalised width and height must exceed this fraction of the image.
    static constexpr double kMinimumFraction = 0.001;

    using EditorTool::EditorTool;

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::crop; }
    void dragChanged(QPointF start, QPointF current) override;
    void dragEnded() override;
    [[nodiscard]] QString hint() const override;

    /// The frame's size in pixels of the photo's current preview (`pixelBreite`, `pixelHoehe`,
    /// truncated); none without a frame, a preview or a fitted image.
    [[nodiscard]] std::optional<QSize> pixelLabel() const;

    /// "Setzen": a frame of the typed pixel size (`cropMassBreite` × `cropMassHoehe`, limited to
    /// the preview's pixel size) centred on the fitted image, with `lastKnownViewSize`. Nothing
    /// happens unless both fields are integers above 0 and the photo has a preview.
    void setFrameFromSize();
    /// "Abbrechen": the frame is removed.
    void removeFrame();
    /// "Anwenden" (`alsBatch` false) and the batch button (true): sets `isCropping` and runs the
    /// crop check, which ends in the alert "Der Ausschnitt ist zu klein." or in the
    /// confirmation; a confirmed crop starts in the background. Nothing while a crop runs.
    void apply(bool alsBatch);

    /// The batch button's label: "Auf n Fotos anwenden" from two selected photos on, else
    /// "Auf alle markierten anwenden".
    [[nodiscard]] QString batchButtonLabel() const;
    /// The tip line under the buttons, by the number of selected photos.
    [[nodiscard]] QString tipLine() const;
    /// The photos a confirmed crop works on: the selection for a batch of two or more, else
    /// the edited photo alone.
    [[nodiscard]] QList<QUuid> cropIds() const;
    /// Photos done and photos in all while a crop runs; none otherwise.
    [[nodiscard]] std::optional<std::pair<int, int>> progress() const;

private:
    void check();
    void confirm();
    void start(bool overwrite);
    void finish(const BatchCropResult& result, bool overwrite, const QList<QUuid>& ids);
    void showAlert(const QString& message);

    std::optional<std::pair<int, int>> m_progress;
};

} // namespace lumora
