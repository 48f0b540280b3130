#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QSize>
#include <QString>
#include <QUuid>
#include <optional>
#include <variant>

namespace lumora {

// Every geometric value below is in pixels of the photo's upright original,
// origin at the lower-left corner, y up. Angles are radians, counter-clockwise.

/// Tonal adjustment. The render chain reads these as exposure (EV), additive brightness,
/// contrast factor (below 0 used as 0), saturation factor and sharpening amount / 2.
struct AdjustmentState {
    double exposure = 0;
    double brightness = 0;
    double contrast = 1;
    double saturation = 1;
    double sharpness = 0;

    [[nodiscard]] bool isNeutral() const { return *this == AdjustmentState{}; }
    friend bool operator==(const AdjustmentState&, const AdjustmentState&) = default;
};

enum class WatermarkPosition { tiled, topLeft, topRight, bottomLeft, bottomRight, center };

/// All positions in their canonical order.
inline constexpr WatermarkPosition kAllWatermarkPositions[] = {
    WatermarkPosition::tiled,      WatermarkPosition::topLeft,     WatermarkPosition::topRight,
    WatermarkPosition::bottomLeft, WatermarkPosition::bottomRight, WatermarkPosition::center,
};

/// The raw value of a position: its case name ("tiled", "topLeft", …).
[[nodiscard]] QString rawValue(WatermarkPosition position);
/// The position whose raw value is exactly `raw` (case-sensitive), or none.
[[nodiscard]] std::optional<WatermarkPosition> watermarkPositionFromRaw(const QString& raw);

/// The longest watermark text drawn; a longer one is cut there. Tiles of a longer line would
/// not fit a photo anyway, and the tiled layout costs time with the text's length.
inline constexpr qsizetype kWatermarkMaxLength = 200;

struct Watermark {
    QString text;
    WatermarkPosition position = WatermarkPosition::tiled;
    double opacity = 0.3;
    double sizeFactor = 0.05;
    QString colorHex = QStringLiteral("#FFFFFF");

    friend bool operator==(const Watermark&, const Watermark&) = default;
};

/// Filled rectangle.
struct MaskRect {
    QRectF rect;
    QString colorHex;

    friend bool operator==(const MaskRect&, const MaskRect&) = default;
};

/// An arrow from `start` to start + length·(cos angle, sin angle).
struct Arrow {
    QPointF start;
    double angle = 0;
    double length = 0;
    double lineWidth = 0;
    QString colorHex;

    [[nodiscard]] QPointF tip() const;
    friend bool operator==(const Arrow&, const Arrow&) = default;
};

/// A text label; `position` is the centre of its box. Identified by `id`.
struct TextMark {
    QUuid id = QUuid::createUuid();
    QPointF position;
    QString text;
    double fontSize = 0;
    QString colorHex;
    bool hasBackground = false;

    friend bool operator==(const TextMark&, const TextMark&) = default;
};

/// A committed freehand line: straight segments through `points`, round caps and joins.
struct StrokeShape {
    QList<QPointF> points;
    QString colorHex;
    double lineWidth = 0;
    friend bool operator==(const StrokeShape&, const StrokeShape&) = default;
};

/// A committed filled area: the closed polygon through `points`, non-zero winding.
struct AreaShape {
    QList<QPointF> points;
    QString colorHex;
    friend bool operator==(const AreaShape&, const AreaShape&) = default;
};

/// One committed overlay of a photo: the vector shape and the size of the transparent
/// layer it is drawn on (the original's size when it was committed). Drawing is clipped
/// to (0, 0, canvasSize).
struct Overlay {
    std::variant<StrokeShape, AreaShape, Arrow> shape;
    QSize canvasSize;
    friend bool operator==(const Overlay&, const Overlay&) = default;
};

/// Everything of a photo's edit state that the render chain reads.
struct EditState {
    AdjustmentState adjustment;
    double rotation = 0; ///< degrees, counter-clockwise
    bool flippedH = false;
    bool flippedV = false;
    std::optional<Watermark> watermark;
    QList<MaskRect> masks;
    QList<Overlay> freehandOverlays;
    QList<TextMark> textMarks;

    friend bool operator==(const EditState&, const EditState&) = default;
};

} // namespace lumora
