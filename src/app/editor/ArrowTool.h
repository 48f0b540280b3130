#pragma once

#include "app/editor/EditorTool.h"

#include <QPainterPath>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <array>
#include <optional>

namespace lumora {

/// What a drag on the arrow being edited does; `offset` (moveAll) is the grab point minus the
/// shaft's midpoint.
struct ArrowDragMode {
    enum class Kind { moveAll, drawNew, moveStart, moveEnd };
    Kind kind = Kind::drawNew;
    QSizeF offset;
    friend bool operator==(const ArrowDragMode&, const ArrowDragMode&) = default;
};

/// The arrow's head as the canvas draws it: a closed triangle whose tip is `end`, as long as it
/// is wide at its base, 2 × `lineWidth` long and never shorter than 8 points.
struct ArrowHeadView {
    QPointF start;
    QPointF end;
    double lineWidth = 0;

    [[nodiscard]] static double headLength(double lineWidth);
    /// The three corners: the tip, then the base's two ends.
    [[nodiscard]] std::array<QPointF, 3> corners() const;
    [[nodiscard]] QPainterPath path() const;
};

/// The `arrow` mode: drag out an arrow, adjust it by its ends or move it by its shaft, and
/// commit it as an arrow overlay of the photo (start, angle and length in image pixels). The
/// arrows being drawn are kept in image pixels; grab distances are canvas points.
class ArrowTool : public EditorTool {
public:
    /// How near an end or the shaft a press grabs it (canvas points).
    static constexpr double kGrabTolerance = 30;
    /// A new arrow shorter than this (canvas points) is not created (a plain click).
    static constexpr double kMinimumLength = 8;

    using EditorTool::EditorTool;

    /// What a press at `p` does to the arrow being edited (`start` present while one is); all
    /// in canvas points. `offset` of moveAll is in the same units as the points.
    [[nodiscard]] static ArrowDragMode hitTest(QPointF p, const std::optional<QPointF>& start, QPointF end);
    /// Distance from `p` to the segment `a`–`b` (to `a` for a segment of no length).
    [[nodiscard]] static double distanceToSegment(QPointF p, QPointF a, QPointF b);

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::arrow; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;
    void deactivate() override;
    bool press(const PointerEvent& event) override;
    bool move(const PointerEvent& event) override;
    bool release(const PointerEvent& event) override;
    bool dropUnfinished() override;
    [[nodiscard]] bool hasUnfinished() const override { return m_arrowStart || m_editingArrowStart; }

    // The arrow being dragged out and the one being edited, image pixels.
    [[nodiscard]] const std::optional<QPointF>& arrowStart() const { return m_arrowStart; }
    [[nodiscard]] QPointF arrowCurrent() const { return m_arrowCurrent; }
    [[nodiscard]] const std::optional<QPointF>& editingArrowStart() const { return m_editingArrowStart; }
    [[nodiscard]] QPointF editingArrowEnd() const { return m_editingArrowEnd; }
    [[nodiscard]] double arrowLineWidth() const { return m_arrowLineWidth; }
    [[nodiscard]] const QString& arrowColorHex() const { return m_arrowColorHex; }
    /// The width (canvas points) and colour of the next arrow and of the one being edited.
    void setArrowLineWidth(double points);
    void setArrowColorHex(const QString& hex);

    /// Commits the arrow being edited: the processor's `currentArrow…` fields take its length,
    /// width and colour, and the photo gets the arrow. Nothing when no arrow is being edited.
    void commit();

private:
    std::optional<QPointF> m_arrowStart;
    QPointF m_arrowCurrent;
    double m_arrowLineWidth = 12;
    std::optional<QPointF> m_editingArrowStart;
    QPointF m_editingArrowEnd;
    QString m_arrowColorHex = QStringLiteral("#FF3B30");
    std::optional<ArrowDragMode> m_arrowDragMode; ///< offset in image pixels
};

} // namespace lumora
