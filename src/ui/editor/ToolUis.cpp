// The panels and canvas feedback of the rectangle, freehand and fill tools.
#include "ui/editor/EditorToolUi.h"

#include "app/editor/EditorController.h"
#include "pipeline/ColorHex.h"
#include "ui/Icons.h"
#include "ui/Theme.h"
#include "ui/editor/ColorButton.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QSlider>
#include <QSpinBox>

namespace lumora {

namespace {

QColor colorOf(const QString& hex, QColor fallback)
{
    return colorFromHex(hex).value_or(fallback);
}

QRectF boundsOf(std::initializer_list<QPointF> points)
{
    QPolygonF polygon;
    for (QPointF p : points)
        polygon << p;
    return polygon.boundingRect();
}

void strokePath(QPainter& painter, const QList<QPointF>& points, const QPen& pen)
{
    if (points.isEmpty())
        return;
    painter.setPen(pen);
    painter.setBrush(Qt::NoBrush);
    if (points.size() == 1)
        painter.drawPoint(points.first());
    else
        painter.drawPolyline(points.data(), int(points.size()));
}

QPen penOf(const QString& hex, double width)
{
    return QPen(colorOf(hex, kSystemRed), width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

class RectangleUi : public EditorToolUi {
public:
    DrawingMode mode() const override { return DrawingMode::rectangle; }

    QWidget* makePanel(EditorController& editor, Dialogs& dialogs) override
    {
        auto* panel = new QWidget;
        auto* row = colorRow(panel, editor, dialogs, &EditorState::rectColorHex, Qt::white, false);
        row->addStretch();
        return panel;
    }

    void paint(QPainter& painter, const EditorState& state) const override
    {
        const QColor fill = colorOf(state.rectColorHex, Qt::white);
        painter.setPen(Qt::NoPen);
        painter.setBrush(fill);
        if (state.drawingRect)
            painter.drawRect(*state.drawingRect);
        if (!state.editingRect)
            return;
        const QRectF r = *state.editingRect;
        painter.drawRect(r);
        painter.setPen(QPen(QColor(255, 214, 10), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(r);
        painter.setPen(QPen(QColor(40, 40, 40), 1));
        painter.setBrush(Qt::white);
        for (QPointF handle : handles(r))
            painter.drawRect(QRectF(handle - QPointF(kHandle / 2, kHandle / 2), QSizeF(kHandle, kHandle)));
    }

    QRectF changingArea(const EditorState& state) const override
    {
        QRectF area;
        if (state.drawingRect)
            area = *state.drawingRect;
        if (state.editingRect)
            area = area.united(*state.editingRect);
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
};

class FreehandUi : public EditorToolUi {
public:
    DrawingMode mode() const override { return DrawingMode::freehand; }

    QWidget* makePanel(EditorController& editor, Dialogs& dialogs) override
    {
        auto* panel = new QWidget;
        auto* row = colorRow(panel, editor, dialogs, &EditorState::freehandColorHex, kSystemRed, false);
        addLineWidthControls(row, panel, editor, &EditorState::freehandLineWidth, QStringLiteral("freehand"), false);
        row->addStretch();
        return panel;
    }

    void paint(QPainter& painter, const EditorState& state) const override
    {
        for (qsizetype i = 0; i < state.freehandPaths.size(); ++i) {
            const auto& [hex, width] =
                state.freehandPathLooks.value(i, {state.freehandColorHex, state.freehandLineWidth});
            strokePath(painter, state.freehandPaths[i], penOf(hex, width));
        }
        strokePath(painter, state.freehandPoints, penOf(state.freehandColorHex, state.freehandLineWidth));
    }

    QRectF changingArea(const EditorState& state) const override
    {
        const QList<QPointF>& p = state.freehandPoints;
        if (p.isEmpty())
            return {};
        const double grow = state.freehandLineWidth / 2 + 2;
        const QRectF last = p.size() > 1 ? boundsOf({p[p.size() - 2], p.last()}) : boundsOf({p.last()});
        return last.adjusted(-grow, -grow, grow, grow);
    }
};

class FillUi : public EditorToolUi {
public:
    DrawingMode mode() const override { return DrawingMode::whiteFill; }

    QWidget* makePanel(EditorController& editor, Dialogs& dialogs) override
    {
        auto* panel = new QWidget;
        auto* row = colorRow(panel, editor, dialogs, &EditorState::fillColorHex, Qt::white, true);
        row->addStretch();
        return panel;
    }

    void paint(QPainter& painter, const EditorState& state) const override
    {
        const QList<QPointF>& p = state.whiteFillPoints;
        if (p.size() < 2)
            return;
        painter.setPen(QPen(QColor(255, 214, 10), 1.5, Qt::DashLine));
        painter.setBrush(colorOf(state.fillColorHex, Qt::white));
        painter.drawPolygon(p.data(), int(p.size()));
    }

    QRectF changingArea(const EditorState& state) const override
    {
        const QList<QPointF>& p = state.whiteFillPoints;
        if (p.isEmpty())
            return {};
        // The step moved the last point: the triangle from the first point over the last two.
        const QRectF area = p.size() > 1 ? boundsOf({p.first(), p[p.size() - 2], p.last()}) : boundsOf({p.last()});
        return area.adjusted(-3, -3, 3, 3);
    }
};

} // namespace

QHBoxLayout* colorRow(QWidget* panel, EditorController& editor, Dialogs& dialogs, QString EditorState::*field,
                      QColor fallback, bool withAlpha)
{
    auto* row = new QHBoxLayout(panel);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(8);
    row->addWidget(styledLabel(QStringLiteral("Farbe"), 11, QFont::Medium));
    row->addWidget(new ColorButton(dialogs,
                                   {[&editor, field] { return editor.state().*field; },
                                    [&editor, field](const QString& hex) {
                                        editor.state().*field = hex;
                                        Q_EMIT editor.changed();
                                    }},
                                   fallback, withAlpha, panel));
    return row;
}

void addLineWidthControls(QHBoxLayout* row, QWidget* panel, EditorController& editor, double EditorState::*field,
                          const QString& name, bool repaintAtOnce)
{
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
    const int width = int(std::lround(editor.state().*field));
    slider->setValue(width);
    number->setValue(width);
    auto write = [&editor, field, slider, number, repaintAtOnce](int value) {
        editor.state().*field = value;
        const QSignalBlocker a(slider);
        const QSignalBlocker b(number);
        slider->setValue(value);
        number->setValue(value);
        if (repaintAtOnce)
            Q_EMIT editor.changed();
    };
    QObject::connect(slider, &QSlider::valueChanged, panel, write);
    QObject::connect(number, &QSpinBox::valueChanged, panel, write);
    slider->setObjectName(name + QStringLiteral("WidthSlider"));
    number->setObjectName(name + QStringLiteral("WidthField"));
    row->addWidget(slider);
    row->addWidget(number);
}

std::unique_ptr<EditorToolUi> makeRectangleUi()
{
    return std::make_unique<RectangleUi>();
}

std::unique_ptr<EditorToolUi> makeFreehandUi()
{
    return std::make_unique<FreehandUi>();
}

std::unique_ptr<EditorToolUi> makeFillUi()
{
    return std::make_unique<FillUi>();
}

} // namespace lumora
