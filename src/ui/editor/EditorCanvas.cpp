#include "ui/editor/EditorCanvas.h"

#include "app/editor/EditorController.h"
#include "pipeline/ColorHex.h"
#include "ui/Theme.h"

#include <QMouseEvent>
#include <QPainter>

namespace lumora {

EditorCanvas::EditorCanvas(EditorController& editor, const std::vector<std::unique_ptr<EditorToolUi>>& tools,
                           QWidget* parent)
    : QWidget(parent), m_editor(editor), m_tools(tools)
{
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(200, 150);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    setMouseTracking(false);
    connect(&m_editor, &EditorController::previewChanged, this, qOverload<>(&QWidget::update));
}

void EditorCanvas::reportSize()
{
    m_editor.setCanvasSize(QSizeF(size()), devicePixelRatioF());
}

void EditorCanvas::showEvent(QShowEvent*)
{
    reportSize();
}

bool EditorCanvas::event(QEvent* event)
{
    // Moved to a screen with another pixel ratio: the preview is rendered again for it.
    if (event->type() == QEvent::ScreenChangeInternal && isVisible())
        reportSize();
    return QWidget::event(event);
}

void EditorCanvas::resizeEvent(QResizeEvent*)
{
    if (isVisible())
        reportSize();
}

QRectF EditorCanvas::feedbackArea() const
{
    QRectF area;
    for (const auto& tool : m_tools)
        area = area.united(tool->changingArea(m_editor.state()));
    return area;
}

void EditorCanvas::stateChanged()
{
    if (!m_dragStart) {
        m_lastArea = QRectF();
        update();
        return;
    }
    const QRectF area = feedbackArea();
    const QRectF dirty = area.united(m_lastArea);
    m_lastArea = area;
    m_lastDirty = dirty.isEmpty() ? QRect() : dirty.toAlignedRect().adjusted(-2, -2, 2, 2);
    if (!m_lastDirty.isEmpty())
        update(m_lastDirty);
}

void EditorCanvas::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragStart = event->position();
    m_lastArea = feedbackArea();
    m_editor.dragChanged(*m_dragStart, event->position());
}

void EditorCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragStart && (event->buttons() & Qt::LeftButton))
        m_editor.dragChanged(*m_dragStart, event->position());
}

void EditorCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragStart || event->button() != Qt::LeftButton)
        return;
    m_dragStart.reset();
    m_editor.dragEnded();
}

namespace {

QBrush checkerboard()
{
    static const QBrush brush = [] {
        constexpr int kSquare = 8;
        QImage tile(2 * kSquare, 2 * kSquare, QImage::Format_RGB32);
        tile.fill(QColor(204, 204, 204));
        QPainter painter(&tile);
        painter.fillRect(0, 0, kSquare, kSquare, QColor(153, 153, 153));
        painter.fillRect(kSquare, kSquare, kSquare, kSquare, QColor(153, 153, 153));
        return QBrush(tile);
    }();
    return brush;
}

} // namespace

void EditorCanvas::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), theme::window);
    const QImage image = m_editor.canvasImage();
    const QRectF fitted = m_editor.mapping().fittedRect(QSizeF(size()));
    if (!image.isNull() && !fitted.isEmpty()) {
        // A preview rendered for exactly these device pixels is copied, not scaled.
        const QSizeF devicePixels = fitted.size() * devicePixelRatioF();
        const bool exact = std::abs(image.width() - devicePixels.width()) < 1.5
                           && std::abs(image.height() - devicePixels.height()) < 1.5;
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !exact);
        if (image.hasAlphaChannel())
            painter.fillRect(fitted, checkerboard()); // transparency shows as a checkerboard
        painter.drawImage(fitted, image);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (const PendingShape& shape : m_editor.pendingShapes()) {
        painter.setBrush(colorFromHex(shape.colorHex).value_or(shape.fallback));
        painter.drawPolygon(shape.outline);
    }
    for (const auto& tool : m_tools)
        tool->paint(painter, m_editor.state());
}

} // namespace lumora
