#include "ui/editor/TextMarkLayer.h"

#include "app/editor/TextTool.h"
#include "pipeline/ColorHex.h"
#include "pipeline/Overlays.h"
#include "ui/Theme.h"

#include <QFocusEvent>
#include <QKeyEvent>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace lumora {

namespace {

constexpr double kBackgroundAlpha = 0.55;
constexpr double kOutlineWidth = 1.5;
/// Room for the cursor after the last letter, so the field never scrolls its text.
constexpr int kCursorRoom = 4;
/// Room around the field's box for the accent outline (drawn 2 outside the box).
constexpr int kOutlineRoom = 3;

QColor shade()
{
    QColor black(Qt::black);
    black.setAlphaF(float(kBackgroundAlpha));
    return black;
}

void paintBox(QPainter& painter, const QRectF& box, double fs, bool background, bool outline)
{
    const double radius = 0.2 * fs;
    if (background) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(shade());
        painter.drawRoundedRect(box, radius, radius);
    }
    if (outline) {
        painter.setPen(QPen(theme::accent, kOutlineWidth));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(box.adjusted(-2, -2, 2, 2), radius, radius);
    }
}

} // namespace

QFont textMarkFont(double pixelSize, const QPaintDevice* device)
{
    QFont font = labelFont(pixelSize);
    const double dpi = device ? device->logicalDpiY() : 72.0;
    font.setPointSizeF(std::max(pixelSize, 0.1) * 72.0 / dpi);
    return font;
}

// --- the layer ---

TextMarkNSView::TextMarkNSView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus); // a click here never takes the focus from the text field
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setObjectName(QStringLiteral("textMarkLayer"));
}

QRect TextMarkNSView::area(const TextMarkLayerView& view) const
{
    QRectF united;
    for (const TextMark& m : view.textMarks)
        united = united.united(TextTool::textBox(m, view.mapping));
    return united.isEmpty() ? QRect() : united.adjusted(-4, -4, 4, 4).toAlignedRect();
}

void TextMarkNSView::takeOver(TextMarkLayerView view)
{
    // Every change of the editor arrives here (each step of an arrow drag, too): only a change
    // of what the layer shows repaints it, and with it the canvas below.
    if (view == m_view)
        return;
    const bool moved = !(view.mapping == m_view.mapping);
    const QRect before = area(m_view);
    m_view = std::move(view);
    if (moved)
        update();
    else
        update(before.united(area(m_view)));
}

void TextMarkNSView::paintEvent(QPaintEvent*)
{
    if (m_view.textMarks.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const double s = m_view.mapping.scale();
    for (const TextMark& m : m_view.textMarks) {
        if (m.id == m_view.editingTextID)
            continue; // the text field stands in its place
        const double fs = m.fontSize * s;
        if (!(fs > 0))
            continue;
        const QRectF box = TextTool::textBox(m, m_view.mapping);
        paintBox(painter, box, fs, m.hasBackground, false);
        const TextMetrics metrics = measureText(m.text, fs);
        painter.setFont(textMarkFont(fs, this));
        painter.setPen(colorFromHex(m.colorHex).value_or(Qt::white));
        painter.drawText(QPointF(box.left() + 0.35 * fs, box.top() + 0.2 * fs + metrics.ascent), m.text);
        if (m.id == m_view.selectedTextID)
            paintBox(painter, box, fs, false, true);
    }
}

// --- the text field ---

TextMarkField::TextMarkField(QWidget* parent) : QLineEdit(parent)
{
    setFrame(false);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setAutoFillBackground(false);
    setAttribute(Qt::WA_MacShowFocusRect, false);
    setObjectName(QStringLiteral("textMarkField"));
    QPalette p = palette();
    p.setColor(QPalette::Base, Qt::transparent);
    setPalette(p);
}

void TextMarkField::place(QPointF centre, double fs, const QString& colorHex, bool hasBackground)
{
    m_centre = centre;
    m_fs = fs;
    m_hasBackground = hasBackground;
    if (font().pointSizeF() != textMarkFont(fs, this).pointSizeF())
        setFont(textMarkFont(fs, this));
    QPalette p = palette();
    p.setColor(QPalette::Text, colorFromHex(colorHex).value_or(Qt::white));
    setPalette(p);

    const QRectF box = TextTool::boxAround(centre, text(), fs);
    // The field reaches past the box by the outline's room.
    const QPoint topLeft(int(std::floor(box.left())) - kOutlineRoom, int(std::floor(box.top())) - kOutlineRoom);
    // QLineEdit puts its text 2 points in from the left and 1 down from the top of the margins.
    const int left = std::max(0, int(std::lround(box.left() + 0.35 * fs)) - topLeft.x() - 2);
    const int top = std::max(0, int(std::lround(box.top() + 0.2 * fs)) - topLeft.y() - 1);
    setTextMargins(left, top, kOutlineRoom + kCursorRoom, 0);
    m_box = box.translated(-QPointF(topLeft));
    setGeometry(QRect(topLeft, QSize(int(std::ceil(m_box.right())) + kOutlineRoom + kCursorRoom,
                                     int(std::ceil(m_box.bottom())) + kOutlineRoom)));
    update();
}

void TextMarkField::paintEvent(QPaintEvent* event)
{
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        paintBox(painter, m_box, m_fs, m_hasBackground, true);
    }
    QLineEdit::paintEvent(event);
}

void TextMarkField::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        Q_EMIT escapePressed(); // ends the typing; the sheet is not closed by it
        event->accept();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void TextMarkField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        Q_EMIT focusLost();
}

} // namespace lumora
