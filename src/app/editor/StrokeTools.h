#pragma once

#include "app/editor/EditorTool.h"

namespace lumora {

/// The `freehand` mode: each drag is a line along the pointer's path, committed on release
/// with the chosen colour and width (canvas points converted to image pixels).
class FreehandTool : public EditorTool {
public:
    /// A line needs at least this many points.
    static constexpr qsizetype kMinimumPoints = 2;

    using EditorTool::EditorTool;
    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::freehand; }
    void dragChanged(QPointF start, QPointF current) override;
    void dragEnded() override;
    [[nodiscard]] QString hint() const override;
};

/// The `whiteFill` mode: each drag encloses an area that is filled with the chosen colour on
/// release (the path is closed from its last point back to the first).
class FillTool : public EditorTool {
public:
    /// An area needs at least this many points.
    static constexpr qsizetype kMinimumPoints = 3;

    using EditorTool::EditorTool;
    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::whiteFill; }
    void dragChanged(QPointF start, QPointF current) override;
    void dragEnded() override;
    void afterUndo() override;
    [[nodiscard]] QString hint() const override;
};

/// Appends a drag's point to `path`, starting with the drag's start point. No thinning.
void extendPath(QList<QPointF>& path, QPointF start, QPointF current);

} // namespace lumora
