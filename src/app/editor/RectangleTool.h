#pragma once

#include "app/editor/EditorTool.h"

#include <QRectF>
#include <QString>
#include <optional>

namespace lumora {

enum class RectCorner { topLeft, topRight, bottomLeft, bottomRight };
enum class RectEdge { top, right, bottom, left };

/// What a drag on the rectangle being edited does; chosen once when the drag starts. Corners and
/// edges are named as the canvas shows them.
struct RectDragMode {
    enum class Kind { moveCorner, moveEdge, drawNew, moveAll };
    Kind kind = Kind::drawNew;
    RectCorner corner = RectCorner::topLeft; ///< for moveCorner
    RectEdge edge = RectEdge::top;           ///< for moveEdge

    [[nodiscard]] static RectDragMode moveCorner(RectCorner c) { return {Kind::moveCorner, c, RectEdge::top}; }
    [[nodiscard]] static RectDragMode moveEdge(RectEdge e) { return {Kind::moveEdge, RectCorner::topLeft, e}; }
    [[nodiscard]] static RectDragMode drawNew() { return {Kind::drawNew}; }
    [[nodiscard]] static RectDragMode moveAll() { return {Kind::moveAll}; }
    friend bool operator==(const RectDragMode&, const RectDragMode&) = default;
};

/// The `rectangle` mode: drag out a rectangle, reshape it by its corners and edges or move it,
/// and commit it as a MaskRect of the photo (the part on the photo). The rectangles are kept in
/// image pixels, so they stay on the photo when the canvas changes size; grab distances are
/// canvas points.
class RectangleTool : public EditorTool {
public:
    /// Grab distance of a corner, of an edge, and how far outside the rectangle a press still moves it.
    static constexpr double kCornerTolerance = 30;
    static constexpr double kEdgeTolerance = 25;
    static constexpr double kMoveMargin = 5;
    /// A new rectangle narrower or lower than this (canvas points) is dropped.
    static constexpr double kMinimumSide = 8;

    using EditorTool::EditorTool;

    /// What a press at canvas point `p` does to `editing` (the rectangle being edited, canvas points).
    [[nodiscard]] static RectDragMode hitTest(QPointF p, const std::optional<QRectF>& editing);

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::rectangle; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;
    void deactivate() override { commit(); }
    bool press(const PointerEvent& event) override;
    bool move(const PointerEvent& event) override;
    bool release(const PointerEvent& event) override;
    bool dropUnfinished() override;
    [[nodiscard]] bool hasUnfinished() const override { return m_drawingRect || m_editingRect; }

    /// The rectangle being dragged out, image pixels (normalised).
    [[nodiscard]] const std::optional<QRectF>& drawingRect() const { return m_drawingRect; }
    /// The rectangle drawn but not committed, image pixels (normalised).
    [[nodiscard]] const std::optional<QRectF>& editingRect() const { return m_editingRect; }
    [[nodiscard]] const std::optional<RectDragMode>& rectDragMode() const { return m_rectDragMode; }
    [[nodiscard]] const QString& rectColorHex() const { return m_rectColorHex; }
    /// The colour of the next rectangle, and of the one being edited.
    void setRectColorHex(const QString& hex);

    /// Appends the rectangle being edited, cut to the photo, to the photo's masks; nothing when
    /// none is being edited or it lies wholly beside the photo.
    void commit();

private:
    void reshape(QPointF current);

    std::optional<QRectF> m_drawingRect;
    QPointF m_viewDragStart;
    QString m_rectColorHex = QStringLiteral("#FFFFFF");
    std::optional<QRectF> m_editingRect;
    std::optional<RectDragMode> m_rectDragMode;
    QRectF m_rectDragStartFrame;
    QPointF m_rectDragStartPoint;
    /// For moveCorner: the corner that stays (image pixels). For moveEdge: which side of the
    /// frame in image pixels moves (0 left, 1 right, 2 bottom, 3 top).
    QPointF m_fixedCorner;
    int m_movingSide = 0;
};

} // namespace lumora
