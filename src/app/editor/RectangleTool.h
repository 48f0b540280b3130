#pragma once

#include "app/editor/EditorTool.h"

#include <QRectF>
#include <optional>

namespace lumora {

/// The `rectangle` mode: drag out a rectangle, reshape it by its corners and edges or move it,
/// and commit it as a MaskRect of the photo in image pixels (clipped to the image).
class RectangleTool : public EditorTool {
public:
    /// Grab distance of a corner, of an edge, and how far outside the rectangle a press still moves it.
    static constexpr double kCornerTolerance = 30;
    static constexpr double kEdgeTolerance = 25;
    static constexpr double kMoveMargin = 5;
    /// A new rectangle narrower or lower than this is dropped.
    static constexpr double kMinimumSide = 8;

    using EditorTool::EditorTool;

    /// What a press at `p` does to `editing` (the rectangle being edited, canvas points).
    [[nodiscard]] static RectDragMode hitTest(QPointF p, const std::optional<QRectF>& editing);

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::rectangle; }
    void dragChanged(QPointF start, QPointF current) override;
    void dragEnded() override;
    void commitPending() override { commit(false); }
    void afterUndo() override;
    [[nodiscard]] QString hint() const override;

    /// Appends the rectangle being edited to the photo's masks, mapped with the live canvas
    /// size or with `lastKnownViewSize`; nothing when no rectangle is being edited.
    void commit(bool liveSize);

private:
    [[nodiscard]] QRectF reshaped(const RectDragMode& mode, QPointF current) const;
};

} // namespace lumora
