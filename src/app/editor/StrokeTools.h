#pragma once

#include "app/editor/EditorTool.h"

#include <QList>
#include <QPointF>
#include <QString>

namespace lumora {

/// The `freehand` mode: each drag is a line along the pointer's path, committed on release
/// with the chosen colour and width (canvas points, converted to image pixels).
class FreehandTool : public EditorTool {
public:
    /// A line needs at least this many points (a click gives two: a dot).
    static constexpr qsizetype kMinimumPoints = 2;

    using EditorTool::EditorTool;
    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::freehand; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;
    void deactivate() override { m_freehandPoints.clear(); }
    bool press(const PointerEvent& event) override;
    bool move(const PointerEvent& event) override;
    bool release(const PointerEvent& event) override;
    bool dropUnfinished() override;
    [[nodiscard]] bool hasUnfinished() const override { return !m_freehandPoints.isEmpty(); }

    /// The path of the drag under way, image pixels.
    [[nodiscard]] const QList<QPointF>& freehandPoints() const { return m_freehandPoints; }
    [[nodiscard]] double freehandLineWidth() const { return m_freehandLineWidth; }
    [[nodiscard]] const QString& freehandColorHex() const { return m_freehandColorHex; }
    void setFreehandLineWidth(double points);
    void setFreehandColorHex(const QString& hex);

private:
    QList<QPointF> m_freehandPoints;
    double m_freehandLineWidth = 5;
    QString m_freehandColorHex = QStringLiteral("#FF3B30");
};

/// The `whiteFill` mode: each drag encloses an area that is filled with the chosen colour on
/// release (the path is closed from its last point back to the first).
class FillTool : public EditorTool {
public:
    /// An area needs at least this many points.
    static constexpr qsizetype kMinimumPoints = 3;

    using EditorTool::EditorTool;
    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::whiteFill; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;
    void deactivate() override { m_whiteFillPoints.clear(); }
    bool press(const PointerEvent& event) override;
    bool move(const PointerEvent& event) override;
    bool release(const PointerEvent& event) override;
    bool dropUnfinished() override;
    [[nodiscard]] bool hasUnfinished() const override { return !m_whiteFillPoints.isEmpty(); }

    /// The path of the drag under way, image pixels.
    [[nodiscard]] const QList<QPointF>& whiteFillPoints() const { return m_whiteFillPoints; }
    [[nodiscard]] const QString& fillColorHex() const { return m_fillColorHex; }
    void setFillColorHex(const QString& hex);

private:
    QList<QPointF> m_whiteFillPoints;
    QString m_fillColorHex = QStringLiteral("#FFFFFFFF");
};

} // namespace lumora
