#pragma once

#include "pipeline/EditState.h"

#include <QImage>
#include <QList>
#include <QSize>
#include <QUuid>
#include <optional>

namespace lumora {

class ImageProcessor;

/// The watermark sheet's values. They live as long as the window and keep their last state
/// between openings (the text is reset from lastWatermarkText when the sheet opens).
struct WatermarkValues {
    QString text;
    WatermarkPosition position = WatermarkPosition::tiled;
    double opacity = 0.35;
    double sizeFactor = 0.06;
    QString colorHex = QStringLiteral("#FFFFFF");
    QString lastWatermarkText{};
};

/// What the watermark sheet decides, without widgets: the target photos, the preview photo,
/// the candidate watermark, the preview image at the size shown and the three buttons.
/// `selection` is the window's selection in list order. UI thread only.
class WatermarkController {
public:
    WatermarkController(ImageProcessor& processor, WatermarkValues& values, QList<QUuid> selection);

    /// Opening the sheet: the text field starts with the last applied text.
    void open();

    /// The selection, or every photo when nothing is selected.
    [[nodiscard]] QList<QUuid> targets() const;
    /// "Wird auf 1 Foto angewendet." / "Wird auf N Fotos angewendet."
    [[nodiscard]] QString countText() const;
    /// The first selected photo, else the first photo; none without photos.
    [[nodiscard]] std::optional<QUuid> previewPhoto() const;
    /// The trimmed text with the current settings; none when the text is blank.
    [[nodiscard]] std::optional<Watermark> candidate() const;
    /// The preview photo with the candidate, long side at most `maxSide` pixels. The photo is
    /// decoded once at that size and kept, so each keystroke only re-runs the chain.
    [[nodiscard]] std::optional<QImage> preview(int maxSide);

    /// "Anwenden": remembers the trimmed text and applies the candidate (or removes the
    /// watermark when the text is blank) on the targets.
    void anwenden();
    /// "Entfernen": removes the watermark from the targets.
    void entfernen();

    /// The sheet's size for a window content of `window` (0 × 0 when not known yet).
    [[nodiscard]] static QSize sheetSize(QSize window);
    static constexpr int kPanelWidth = 300;
    static constexpr int kPreviewMinWidth = 320;

private:
    ImageProcessor& m_processor;
    WatermarkValues& m_values;
    QList<QUuid> m_selection;
    // The decoded preview photo, for the size it was decoded at.
    QUuid m_baseId;
    const void* m_baseSource = nullptr;
    int m_baseSide = 0;
    QImage m_base;
};

} // namespace lumora
