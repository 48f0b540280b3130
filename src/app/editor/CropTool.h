#pragma once

#include "app/editor/EditorTool.h"
#include "model/PhotoItem.h"

#include <QList>
#include <QRectF>
#include <QSize>
#include <QUuid>
#include <optional>

namespace lumora {

/// The summary of a finished crop run, lines joined with "\n": the written count with "überschrieben"
/// or "als Kopie gespeichert" and the "Speicherort: " folder, the skipped count, the error count
/// with the first five errors and "… und N weitere", or "Keine Fotos verarbeitet." when there is
/// nothing to say.
[[nodiscard]] QString cropSummary(const BatchCropResult& result, bool overwrite);

/// The crop frame `frame` as fractions of the photo's rectangle `fitted` (both canvas points,
/// origin top-left): the frame is cut to the photo on every side, so a frame reaching past an
/// edge keeps only what it covers of the photo. None when either fraction is not above
/// CropTool::kMinimumFraction (also for a frame beside the photo) or `fitted` has no area.
[[nodiscard]] std::optional<QRectF> normalizedCropRect(const QRectF& frame, const QRectF& fitted);

enum class CropDragModus { keiner, neuAufziehen, verschieben };

/// The `crop` mode: a frame is dragged out (or moved when the drag starts inside it) or set
/// from a typed pixel size, then checked, confirmed and handed to the batch crop for the edited
/// photo or for every selected photo. The frame is kept in image pixels and is free to leave the
/// photo; the check cuts it. The crop runs in the background; its summary is shown when it ends,
/// over the main window when the editor was closed meanwhile. UI thread only.
class CropTool : public EditorTool {
public:
    /// A frame must be wider and higher than this many canvas points.
    static constexpr double kMinimumSide = 5;
    /// The normalised width and height must exceed this fraction of the image.
    static constexpr double kMinimumFraction = 0.001;

    using EditorTool::EditorTool;

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::crop; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;
    /// The "Zuschneiden" button: the mode, without a frame.
    void buttonPressed() override;
    bool press(const PointerEvent& event) override;
    bool move(const PointerEvent& event) override;
    bool release(const PointerEvent& event) override;

    /// The frame, image pixels (normalised); none while there is no frame.
    [[nodiscard]] const std::optional<QRectF>& cropRect() const { return m_cropRect; }
    [[nodiscard]] CropDragModus cropAktiverDragModus() const { return m_cropAktiverDragModus; }
    /// The frame's size in pixels of the photo's current preview (`pixelBreite`, `pixelHoehe`,
    /// truncated); none without a frame, a preview or a fitted image.
    [[nodiscard]] std::optional<QSize> pixelLabel() const;

    /// The size fields (`cropMassBreite`, `cropMassHoehe`) as typed.
    [[nodiscard]] const QString& cropMassBreite() const { return m_cropMassBreite; }
    [[nodiscard]] const QString& cropMassHoehe() const { return m_cropMassHoehe; }
    void setCropMass(const QString& breite, const QString& hoehe);
    /// "Setzen": a frame of the typed pixel size (limited to the preview's pixel size) centred
    /// on the photo. Nothing happens unless both fields are integers above 0 and the photo has a
    /// preview.
    void setFrameFromSize();
    /// "Abbrechen": the frame is removed.
    void removeFrame();
    /// "Anwenden" (`alsBatch` false) and the batch button (true): the crop check, which ends in
    /// the alert "Der Ausschnitt ist zu klein." or in the confirmation; a confirmed crop starts
    /// in the background. Nothing while a crop runs.
    void apply(bool alsBatch);
    /// True from "Anwenden" until the crop is abandoned or its summary was shown.
    [[nodiscard]] bool isCropping() const { return m_isCropping; }

    /// The batch button's label: "Auf n Fotos anwenden" from two selected photos on, else
    /// "Auf alle markierten anwenden".
    [[nodiscard]] QString batchButtonLabel() const;
    /// The tip line under the buttons, by the number of selected photos.
    [[nodiscard]] QString tipLine() const;
    /// Photos done and photos in all while a crop runs; none otherwise.
    [[nodiscard]] std::optional<std::pair<int, int>> progress() const { return m_progress; }

private:
    void check();
    void confirm(const QRectF& normalized);
    void start(const QRectF& normalized, bool overwrite);
    void finish(const BatchCropResult& result, bool overwrite, const QList<QUuid>& ids);
    [[nodiscard]] QList<QUuid> cropIds() const;
    void showAlert(const QString& message);

    std::optional<QRectF> m_cropRect;
    QPointF m_cropDragStart;
    QRectF m_cropDragStartFrame;
    CropDragModus m_cropAktiverDragModus = CropDragModus::keiner;
    QString m_cropMassBreite;
    QString m_cropMassHoehe;
    bool m_isCropping = false;
    bool m_cropAlsBatch = false;
    std::optional<std::pair<int, int>> m_progress;
};

} // namespace lumora
