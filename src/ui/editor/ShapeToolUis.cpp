// The panels and canvas feedback of the rectangle, freehand and fill tools, and the panel
// controls the drawing tools share.
#include "ui/editor/ShapeToolUis.h"

#include "app/editor/CanvasMapping.h"
#include "app/editor/RectangleTool.h"
#include "app/editor/StrokeTools.h"
#include "pipeline/ColorHex.h"
#include "ui/Icons.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QSpinBox>
#include <array>
#include <cmath>

namespace lumora {

namespace {

QColor colorOf(const QString& hex, QColor fallback)
{
    return colorFromHex(hex).value_or(fallback);
}

QPolygonF onCanvas(const QList<QPointF>& points, const CanvasMapping& mapping)
{
    QPolygonF polygon;
    polygon.reserve(points.size());
    for (QPointF p : points)
        polygon << mapping.toCanvas(p);
    return polygon;
}

/// The canvas area that the last step of a path changed: its last segment (and for an area
/// the triangle back to the first point), grown by `grow`.
QRectF lastStepArea(const QList<QPointF>& points, const CanvasMapping& mapping, bool closed, double grow)
{
    if (points.isEmpty())
        return {};
    QPolygonF step;
    step << mapping.toCanvas(points.last());
    if (points.size() > 1)
        step << mapping.toCanvas(points[points.size() - 2]);
    if (closed)
        step << mapping.toCanvas(points.first());
    return step.boundingRect().adjusted(-grow, -grow, grow, grow);
}

class RectangleUi : public EditorToolUi {
public:
    explicit RectangleUi(RectangleTool& tool) : m_tool(tool) {}

    QWidget* makePanel(Dialogs& dialogs) override
    {
        return colorPanel(
            dialogs,
            {[this] { return m_tool.rectColorHex(); }, [this](const QString& hex) { m_tool.setRectColorHex(hex); }},
            Qt::white, false);
    }

    void paint(QPainter& painter, const CanvasMapping& mapping) const override
    {
        const QColor fill = colorOf(m_tool.rectColorHex(), Qt::white);
        painter.save();
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        painter.setClipRect(mapping.fittedRect()); // the part beside the photo is not kept
        if (m_tool.drawingRect())
            painter.drawRect(mapping.toCanvas(*m_tool.drawingRect()));
        if (m_tool.editingRect())
            painter.drawRect(mapping.toCanvas(*m_tool.editingRect()));
        painter.restore();
        if (!m_tool.editingRect())
            return;
        const QRectF r = mapping.toCanvas(*m_tool.editingRect());
        painter.setPen(QPen(kMarkerYellow, 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r);
        painter.setPen(QPen(QColor(40, 40, 40), 1));
        painter.setBrush(Qt::white);
        for (QPointF handle : handles(r))
            painter.drawRect(QRectF(handle - QPointF(kHandle / 2, kHandle / 2), QSizeF(kHandle, kHandle)));
    }

    QRectF changingArea(const CanvasMapping& mapping) const override
    {
        QRectF area;
        if (m_tool.drawingRect())
            area = mapping.toCanvas(*m_tool.drawingRect());
        if (m_tool.editingRect())
            area = area.united(mapping.toCanvas(*m_tool.editingRect()));
        return area.isNull() ? area : area.adjusted(-kHandle, -kHandle, kHandle, kHandle);
    }

private:
    static constexpr double kHandle = 8;

    static std::array<QPointF, 8> handles(const QRectF& r)
    {
        const QPointF c = r.center();
        return {r.topLeft(),     QPointF(c.x(), r.top()),    r.topRight(),   QPointF(r.right(), c.y()),
                r.bottomRight(), QPointF(c.x(), r.bottom()), r.bottomLeft(), QPointF(r.left(), c.y())};
    }

    RectangleTool& m_tool;
};

class FreehandUi : public EditorToolUi {
public:
    explicit FreehandUi(FreehandTool& tool) : m_tool(tool) {}

    QWidget* makePanel(Dialogs& dialogs) override
    {
        return colorPanel(dialogs,
                          {[this] { return m_tool.freehandColorHex(); },
                           [this](const QString& hex) { m_tool.setFreehandColorHex(hex); }},
                          kSystemRed, false,
                          LineWidthBinding{[this] { return m_tool.freehandLineWidth(); },
                                           [this](double width) { m_tool.setFreehandLineWidth(width); },
                                           QStringLiteral("freehand")});
    }

    void paint(QPainter& painter, const CanvasMapping& mapping) const override
    {
        const QList<QPointF>& points = m_tool.freehandPoints();
        if (points.isEmpty())
            return;
        painter.save();
        painter.setClipRect(mapping.fittedRect()); // as the file clips the line
        painter.setPen(QPen(colorOf(m_tool.freehandColorHex(), kSystemRed), m_tool.freehandLineWidth(), Qt::SolidLine,
                            Qt::RoundCap, Qt::RoundJoin));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolyline(onCanvas(points, mapping));
        painter.restore();
    }

    QRectF changingArea(const CanvasMapping& mapping) const override
    {
        return lastStepArea(m_tool.freehandPoints(), mapping, false, m_tool.freehandLineWidth() / 2 + 2);
    }

private:
    FreehandTool& m_tool;
};

class FillUi : public EditorToolUi {
public:
    explicit FillUi(FillTool& tool) : m_tool(tool) {}

    QWidget* makePanel(Dialogs& dialogs) override
    {
        return colorPanel(
            dialogs,
            {[this] { return m_tool.fillColorHex(); }, [this](const QString& hex) { m_tool.setFillColorHex(hex); }},
            Qt::white, true);
    }

    void paint(QPainter& painter, const CanvasMapping& mapping) const override
    {
        const QList<QPointF>& points = m_tool.whiteFillPoints();
        if (points.size() < 2)
            return;
        const QPolygonF polygon = onCanvas(points, mapping);
        painter.save();
        painter.setClipRect(mapping.fittedRect());
        painter.setPen(Qt::NoPen);
        painter.setBrush(colorOf(m_tool.fillColorHex(), Qt::white));
        painter.drawPolygon(polygon, Qt::WindingFill);
        painter.restore();
        painter.setPen(QPen(kMarkerYellow, 1.5, Qt::DashLine));
        painter.setBrush(Qt::NoBrush);
        painter.drawPolygon(polygon);
    }

    QRectF changingArea(const CanvasMapping& mapping) const override
    {
        return lastStepArea(m_tool.whiteFillPoints(), mapping, true, 3);
    }

private:
    FillTool& m_tool;
};

} // namespace

QWidget* colorPanel(Dialogs& dialogs, ColorButton::Binding color, QColor fallback, bool withAlpha,
                    std::optional<LineWidthBinding> width)
{
    auto* panel = new QWidget;
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(styledLabel(QStringLiteral("Farbe"), 11, QFont::Medium));
    row->addWidget(new ColorButton(dialogs, std::move(color), fallback, withAlpha, panel));
    if (width) {
        auto* icon = new QLabel(panel);
        icon->setPixmap(icons::pixmap(QStringLiteral("lineweight"), 16, theme::textMuted, panel->devicePixelRatioF()));
        row->addWidget(icon);
        auto* slider = new QSlider(Qt::Horizontal, panel);
        slider->setRange(2, 50);
        slider->setFixedWidth(100);
        auto* number = new QSpinBox(panel);
        number->setRange(2, 50);
        number->setFixedWidth(44);
        number->setButtonSymbols(QAbstractSpinBox::NoButtons);
        const int shown = int(std::lround(width->read()));
        slider->setValue(shown);
        number->setValue(shown);
        auto both = [write = width->write, slider, number](int value) {
            const QSignalBlocker a(slider);
            const QSignalBlocker b(number);
            slider->setValue(value);
            number->setValue(value);
            write(value);
        };
        QObject::connect(slider, &QSlider::valueChanged, panel, both);
        QObject::connect(number, &QSpinBox::valueChanged, panel, both);
        slider->setObjectName(width->name + QStringLiteral("WidthSlider"));
        number->setObjectName(width->name + QStringLiteral("WidthField"));
        row->addWidget(slider);
        row->addWidget(number);
    }
    row->addStretch();
    return panel;
}

std::unique_ptr<EditorToolUi> makeToolUi(EditorController&, RectangleTool& tool)
{
    return std::make_unique<RectangleUi>(tool);
}

std::unique_ptr<EditorToolUi> makeToolUi(EditorController&, FreehandTool& tool)
{
    return std::make_unique<FreehandUi>(tool);
}

std::unique_ptr<EditorToolUi> makeToolUi(EditorController&, FillTool& tool)
{
    return std::make_unique<FillUi>(tool);
}

} // namespace lumora
