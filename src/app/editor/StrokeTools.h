#pragma once

#include "app/editor/EditorTool.h"

#include <QList>
#include <QPointF>
#include <QString>

namespace lumora {

/// A mode whose every drag is a path along the pointer, committed on release: the press is its
/// first step (so a click has two points), each move adds a point, the release its own if it
/// moved. The path is kept in image pixels; what it becomes is the subclass's commitPath().
class PathTool : public EditorTool {
public:
    using EditorTool::EditorTool;
    void deactivate() override { m_points.clear(); }
    bool press(const PointerEvent& event) override;
    bool move(const PointerEvent& event) override;
    bool release(const PointerEvent& event) override;
    bool dropUnfinished() override;
    [[nodiscard]] bool hasUnfinished() const override { return !m_points.isEmpty(); }

protected:
    /// Commits the finished path (image pixels), when it has enough points to be anything.
    virtual void commitPath(const QList<QPointF>& points) = 0;

    QList<QPointF> m_points;
};

/// The `freehand` mode: each drag is a line along the pointer's path, committed on release
/// with the chosen colour and width (canvas points, converted to image pixels).
class FreehandTool : public PathTool {
public:
    /// A line needs at least this many points (a click gives two: a dot).
    static constexpr qsizetype kMinimumPoints = 2;

    using PathTool::PathTool;
    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::freehand; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;

    /// The path of the drag under way, image pixels.
    [[nodiscard]] const QList<QPointF>& freehandPoints() const { return m_points; }
    [[nodiscard]] double freehandLineWidth() const { return m_freehandLineWidth; }
    [[nodiscard]] const QString& freehandColorHex() const { return m_freehandColorHex; }
    void setFreehandLineWidth(double points);
    void setFreehandColorHex(const QString& hex);

protected:
    void commitPath(const QList<QPointF>& points) override;

private:
    double m_freehandLineWidth = 5;
    QString m_freehandColorHex = QStringLiteral("#FF3B30");
};

/// The `whiteFill` mode: each drag encloses an area that is filled with the chosen colour on
/// release (the path is closed from its last point back to the first).
class FillTool : public PathTool {
public:
    /// An area needs at least this many points.
    static constexpr qsizetype kMinimumPoints = 3;

    using PathTool::PathTool;
    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::whiteFill; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;

    /// The path of the drag under way, image pixels.
    [[nodiscard]] const QList<QPointF>& whiteFillPoints() const { return m_points; }
    [[nodiscard]] const QString& fillColorHex() const { return m_fillColorHex; }
    void setFillColorHex(const QString& hex);

protected:
    void commitPath(const QList<QPointF>& points) override;

private:
    QString m_fillColorHex = QStringLiteral("#FFFFFFFF");
};

} // namespace lumora
