// The arrow tool's panel and canvas feedback.
#include "ui/editor/ArrowUi.h"

#include "app/editor/ArrowTool.h"
#include "app/editor/CanvasMapping.h"
#include "pipeline/ColorHex.h"

#include <QLineF>
#include <QPainter>

namespace lumora {

namespace {

constexpr double kMarkerRadius = 6;

void paintArrow(QPainter& painter, QPointF start, QPointF end, double width, const QColor& color)
{
    const ArrowHeadView head{start, end, width};
    const auto corners = head.corners();
    // The shaft ends inside the head, so its flat end never shows beside the triangle.
    const QPointF shaftEnd = (corners[0] + (corners[1] + corners[2]) / 2) / 2;
    painter.setPen(QPen(color, width, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    if (QLineF(start, end).length() > ArrowHeadView::headLength(width) / 2)
        painter.drawLine(start, shaftEnd);
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(head.path());
}

class ArrowUi : public EditorToolUi {
public:
    explicit ArrowUi(ArrowTool& tool) : m_tool(tool) {}

    QWidget* makePanel(Dialogs& dialogs) override
    {
        return colorPanel(
            dialogs,
            {[this] { return m_tool.arrowColorHex(); }, [this](const QString& hex) { m_tool.setArrowColorHex(hex); }},
            kSystemRed, false,
            LineWidthBinding{[this] { return m_tool.arrowLineWidth(); },
                             [this](double width) { m_tool.setArrowLineWidth(width); }, QStringLiteral("arrow")});
    }

    void paint(QPainter& painter, const CanvasMapping& mapping) const override
    {
        const QColor color = colorFromHex(m_tool.arrowColorHex()).value_or(kSystemRed);
        const double width = m_tool.arrowLineWidth();
        painter.save();
        painter.setClipRect(mapping.fittedRect()); // the file clips the arrow at the photo's edges
        if (m_tool.arrowStart())
            paintArrow(painter, mapping.toCanvas(*m_tool.arrowStart()), mapping.toCanvas(m_tool.arrowCurrent()), width,
                       color);
        if (m_tool.editingArrowStart())
            paintArrow(painter, mapping.toCanvas(*m_tool.editingArrowStart()),
                       mapping.toCanvas(m_tool.editingArrowEnd()), width, color);
        painter.restore();
        if (!m_tool.editingArrowStart())
            return;
        const QPointF start = mapping.toCanvas(*m_tool.editingArrowStart());
        const QPointF end = mapping.toCanvas(m_tool.editingArrowEnd());
        painter.setPen(QPen(QColor(40, 40, 40), 1));
        painter.setBrush(kMarkerYellow);
        for (QPointF p : {start, end, (start + end) / 2})
            painter.drawEllipse(p, kMarkerRadius, kMarkerRadius);
    }

    QRectF changingArea(const CanvasMapping& mapping) const override
    {
        QRectF area;
        // The head reaches out from the tip by its length: the bounds of both ends, grown by it.
        const double grow = ArrowHeadView::headLength(m_tool.arrowLineWidth()) + kMarkerRadius + 2;
        auto add = [&](QPointF a, QPointF b) {
            area = area.united(
                QRectF(mapping.toCanvas(a), mapping.toCanvas(b)).normalized().adjusted(-grow, -grow, grow, grow));
        };
        if (m_tool.arrowStart())
            add(*m_tool.arrowStart(), m_tool.arrowCurrent());
        if (m_tool.editingArrowStart())
            add(*m_tool.editingArrowStart(), m_tool.editingArrowEnd());
        return area;
    }

private:
    ArrowTool& m_tool;
};

} // namespace

std::unique_ptr<EditorToolUi> makeToolUi(EditorController&, ArrowTool& tool)
{
    return std::make_unique<ArrowUi>(tool);
}

} // namespace lumora
