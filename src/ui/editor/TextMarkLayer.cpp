#include "ui/editor/TextMarkLayer.h"

#include "pipeline/ColorHex.h"
#include "pipeline/Overlays.h"
#include "ui/Theme.h"

#include <QFocusEvent>
#include <QMouseEvent>
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

void TextMarkNSView::takeOver(TextMarkLayerView view)
{
    // Every change of the editor arrives here (each step of an arrow drag, too): only a change
    // of what the layer shows repaints it, and with it the canvas below.
    const bool same = view.textMarks == m_view.textMarks && view.selectedTextID == m_view.selectedTextID
                      && view.editingTextID == m_view.editingTextID
                      && view.displayedImageSize == m_view.displayedImageSize
                      && view.originalImageSize == m_view.originalImageSize && view.rotation == m_view.rotation
                      && view.flippedH == m_view.flippedH && view.flippedV == m_view.flippedV;
    m_view = std::move(view);
    setAttribute(Qt::WA_TransparentForMouseEvents, !m_view.isTextMode);
    if (!same)
        update();
}

TextLayerGeometry TextMarkNSView::geometry2D() const
{
    TextLayerGeometry g{QSizeF(size()), m_view.displayedImageSize, m_view.originalImageSize, m_view.rotation};
    g.flippedH = m_view.flippedH;
    g.flippedV = m_view.flippedV;
    return g;
}

const TextMark* TextMarkNSView::mark(const QUuid& id) const
{
    for (const TextMark& m : m_view.textMarks) {
        if (m.id == id)
            return &m;
    }
    return nullptr;
}

void TextMarkNSView::paintEvent(QPaintEvent*)
{
    if (m_view.textMarks.isEmpty())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const TextLayerGeometry g = geometry2D();
    for (const TextMark& m : m_view.textMarks) {
        if (m.id == m_view.editingTextID)
            continue; // the text field stands in its place
        const double fs = g.viewFontSize(m);
        if (!(fs > 0))
            continue;
        const QRectF box = g.textBox(m, m.id == m_draggingID ? m_dragOffset : QPointF());
        paintBox(painter, box, fs, m.hasBackground, false);
        const TextMetrics metrics = measureText(m.text, fs);
        painter.setFont(textMarkFont(fs, this));
        painter.setPen(colorFromHex(m.colorHex).value_or(Qt::white));
        painter.drawText(QPointF(box.left() + 0.35 * fs, box.top() + 0.2 * fs + metrics.ascent), m.text);
        if (m.id == m_view.selectedTextID)
            paintBox(painter, box, fs, false, true);
    }
}

QRect TextMarkNSView::draggedArea() const
{
    const TextMark* m = m_draggingID ? mark(*m_draggingID) : nullptr;
    if (!m)
        return {};
    return geometry2D().textBox(*m, m_dragOffset).adjusted(-4, -4, 4, 4).toAlignedRect();
}

void TextMarkNSView::press(QPointF p, int clickCount)
{
    const TextLayerGeometry g = geometry2D();
    if (clickCount == 2) {
        if (const auto id = g.hit(m_view.textMarks, p, 0)) {
            m_view.selectedTextID = id;
            if (m_view.onSelect)
                m_view.onSelect(id);
            if (m_view.onRequestEdit)
                m_view.onRequestEdit(*id);
            return;
        }
    }
    if (const auto id = g.hitExactThenTolerant(m_view.textMarks, p)) {
        m_view.selectedTextID = id;
        if (m_view.onSelect)
            m_view.onSelect(id);
        m_draggingID = id;
        m_dragStartMouse = p;
        m_dragStartImagePos = mark(*id) ? mark(*id)->position : QPointF();
        m_dragOffset = QPointF();
        update();
        return;
    }
    m_view.selectedTextID.reset();
    if (m_view.onSelect)
        m_view.onSelect(std::nullopt);
    if (m_view.onEmptyClick)
        m_view.onEmptyClick(g.toImage(p));
}

void TextMarkNSView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    press(event->position(), 1);
}

void TextMarkNSView::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->ignore();
        return;
    }
    // The first click of the pair selected and started a drag of no distance; it ends here.
    m_draggingID.reset();
    m_dragOffset = QPointF();
    press(event->position(), 2);
}

void TextMarkNSView::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_draggingID) {
        event->ignore();
        return;
    }
    const QRect before = draggedArea();
    m_dragOffset = event->position() - m_dragStartMouse;
    update(before.united(draggedArea()));
}

void TextMarkNSView::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_draggingID) {
        event->ignore();
        return;
    }
    const QUuid id = *m_draggingID;
    const QPointF offset = m_dragOffset;
    m_draggingID.reset();
    m_dragOffset = QPointF();
    // A press without movement moves nothing (and writes nothing).
    if (!offset.isNull() && m_view.onMove)
        m_view.onMove(id, geometry2D().dragged(m_dragStartImagePos, offset));
    update();
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

    const QRectF box = TextLayerGeometry::boxAround(centre, text(), fs);
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

void TextMarkField::focusOutEvent(QFocusEvent* event)
{
    QLineEdit::focusOutEvent(event);
    if (event->reason() != Qt::PopupFocusReason)
        Q_EMIT focusLost();
}

} // namespace lumora
