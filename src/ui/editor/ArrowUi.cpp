// The arrow tool's panel and canvas feedback.
#include "ui/editor/EditorToolUi.h"

#include "app/editor/ArrowTool.h"
#include "app/editor/EditorController.h"
#include "pipeline/ColorHex.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>

namespace lumora {

namespace {

/// The yellow of the handles on the shape being edited.
const QColor kMarkerYellow(255, 214, 10);
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
    DrawingMode mode() const override { return DrawingMode::arrow; }

    QWidget* makePanel(EditorController& editor, Dialogs& dialogs) override
    {
        auto* panel = new QWidget;
        auto* row = colorRow(panel, editor, dialogs, &EditorState::arrowColorHex, kSystemRed, false);
        addLineWidthControls(row, panel, editor, &EditorState::arrowLineWidth, QStringLiteral("arrow"), true);
        row->addStretch();
        return panel;
    }

    void paint(QPainter& painter, const EditorState& state) const override
    {
        const QColor color = colorFromHex(state.arrowColorHex).value_or(kSystemRed);
        if (state.arrowStart)
            paintArrow(painter, *state.arrowStart, state.arrowCurrent, state.arrowLineWidth, color);
        if (!state.editingArrowStart)
            return;
        const QPointF start = *state.editingArrowStart;
        const QPointF end = state.editingArrowEnd;
        paintArrow(painter, start, end, state.arrowLineWidth, color);
        painter.setPen(QPen(QColor(40, 40, 40), 1));
        painter.setBrush(kMarkerYellow);
        for (QPointF p : {start, end, (start + end) / 2})
            painter.drawEllipse(p, kMarkerRadius, kMarkerRadius);
    }

    QRectF changingArea(const EditorState& state) const override
    {
        QRectF area;
        // The head reaches out from the tip by its length: the bounds of both ends, grown by it.
        const double grow = ArrowHeadView::headLength(state.arrowLineWidth) + kMarkerRadius + 2;
        auto add = [&](QPointF a, QPointF b) {
            area = area.united(QRectF(a, b).normalized().adjusted(-grow, -grow, grow, grow));
        };
        if (state.arrowStart)
            add(*state.arrowStart, state.arrowCurrent);
        if (state.editingArrowStart)
            add(*state.editingArrowStart, state.editingArrowEnd);
        return area;
    }
};

} // namespace

std::unique_ptr<EditorToolUi> makeArrowUi()
{
    return std::make_unique<ArrowUi>();
}

} // namespace lumora
