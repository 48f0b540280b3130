#pragma once

#include <QRectF>
#include <QVariant>
#include <optional>
#include <span>
#include <vector>

namespace lumora {

// Placement of magnifier windows.
//
// Two coordinate systems meet here. Qt reports window and screen rectangles in the virtual
// desktop with y growing downwards from the top of the primary screen. The remembered frame and
// the placement rules below use screen points with the origin at the lower-left corner of the
// primary screen and y growing upwards ("y up"): a rectangle's y is its bottom edge, maxY its top.
// ScreenAxis converts between the two; x is the same in both.

/// Mirror between Qt screen coordinates (y down) and y-up screen coordinates, about the
/// bottom edge of the primary screen: y_oben = unterkante − (y_qt + h). The mapping is its own
/// inverse, so one function serves both directions.
class ScreenAxis {
public:
    /// `primaryGeometry`: the primary screen's full geometry in Qt coordinates.
    explicit ScreenAxis(QRectF primaryGeometry) : m_bottomEdge(primaryGeometry.bottom()) {}

    [[nodiscard]] QRectF mirrored(QRectF r) const
    {
        return {r.x(), m_bottomEdge - r.y() - r.height(), r.width(), r.height()};
    }

private:
    double m_bottomEdge;
};

/// One attached screen, in Qt coordinates: its full geometry and its visible (available) area
/// without panels and docks.
struct ScreenRects {
    QRectF geometry;
    QRectF visible;
};

/// The window placement rules are anchored on. All rectangles y up.
struct ReferenceWindow {
    QRectF frame;
    /// Visible area of the window's screen, or of the main screen; none when neither exists.
    std::optional<QRectF> area;
};

/// True when `frame` (y up) lies completely inside the visible area (y up) of at least one
/// screen. Edges may touch. An empty frame is never visible.
[[nodiscard]] bool istVollSichtbar(QRectF frame, std::span<const QRectF> visibleAreas);

/// Moves and shrinks `r` so that it lies inside `area` (any y orientation, as long as both
/// use the same): the size is capped at the area's, then the rectangle is pushed in from the
/// low edges and afterwards from the high edges.
[[nodiscard]] QRectF inBereichEinpassen(QRectF r, QRectF area);

/// The frame (y up) for a new magnifier of `size` points.
/// - Without a reference window, or when it has no screen area: centred in `mainArea`
///   (the main screen's visible area, y up), or in 0, 0, 1440, 900 when there is no screen.
/// - Otherwise beside the reference frame F: overlapping its right edge by 100 points and
///   aligned with its top, when that lies wholly on F's screen area V.
/// - Else shrunk to at most 65 % of F's width and F's height − 80, tucked inside F 20 points
///   from its right edge and 60 points below its top, and then fitted into V.
[[nodiscard]] QRectF standardFrame(QSizeF size, const std::optional<ReferenceWindow>& reference,
                                   const std::optional<QRectF>& mainArea);

/// Reads a stored frame value: a map with the number entries "x", "y", "w", "h". Anything else
/// (another type, a missing key, an entry that is not a number or not finite) is no frame.
[[nodiscard]] std::optional<QRectF> frameFromValue(const QVariant& value);
/// The stored form of `frame`: a map "x", "y", "w", "h" of doubles.
[[nodiscard]] QVariantMap frameToValue(QRectF frame);

/// Index in `screens` of the screen a window with Qt frame `frame` is on: the one that
/// shares the largest area with it; none when it touches no screen.
[[nodiscard]] std::optional<std::size_t> screenOf(QRectF frame, std::span<const ScreenRects> screens);

/// Placement of a new magnifier in Qt coordinates, from Qt-coordinate inputs: converts to y up,
/// applies the rules above and converts back. `screens[0]` is the primary screen (the
/// list may be empty); `reference` is the reference window's Qt frame, if any.
[[nodiscard]] QRectF standardFrameQt(QSizeF size, const std::optional<QRectF>& reference,
                                     std::span<const ScreenRects> screens);

/// The axis conversion for a list of screens whose first entry is the primary screen; with no
/// screens, the fallback area 0, 0, 1440, 900.
[[nodiscard]] ScreenAxis axisFor(std::span<const ScreenRects> screens);

} // namespace lumora
