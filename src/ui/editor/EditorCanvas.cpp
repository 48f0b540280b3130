#include "ui/editor/EditorCanvas.h"

#include "app/editor/CanvasMapping.h"
#include "app/editor/EditorController.h"
#include "pipeline/Overlays.h"
#include "ui/Theme.h"

#include <QMouseEvent>
#include <QPainter>

namespace lumora {

EditorCanvas::EditorCanvas(EditorController& editor, const EditorToolUis& tools, QWidget* parent)
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
        area = area.united(tool->changingArea(m_editor.mapping()));
    return area;
}

void EditorCanvas::stateChanged()
{
    if (!m_dragging) {
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
    m_dragging = true;
    m_lastArea = feedbackArea();
    m_editor.press(event->position());
}

void EditorCanvas::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton)
        return;
    m_dragging = true;
    m_lastArea = feedbackArea();
    m_editor.press(event->position(), 2);
}

void EditorCanvas::mouseMoveEvent(QMouseEvent* event)
{
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        m_editor.move(event->position());
}

void EditorCanvas::mouseReleaseEvent(QMouseEvent* event)
{
    if (!m_dragging || event->button() != Qt::LeftButton)
        return;
    m_dragging = false;
    m_editor.release(event->position());
    update(); // the whole canvas: a commit may change more than the drag's area
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
    const CanvasMapping mapping = m_editor.mapping();
    const QRectF fitted = mapping.fittedRect();
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
    // Annotations just committed are drawn as the render chain draws them (clipped to the photo
    // the same way) until the preview that contains them arrives, so a commit never blinks.
    const PendingAnnotations pending = m_editor.pendingAnnotations();
    if (!pending.masks.isEmpty() || !pending.overlays.isEmpty()) {
        painter.save();
        painter.setClipRect(fitted);
        const QTransform toCanvas = mapping.imageToCanvas();
        paintMasks(painter, toCanvas, pending.masks);
        for (const Overlay& overlay : pending.overlays)
            paintOverlay(painter, toCanvas, overlay);
        painter.restore();
    }
    for (const auto& tool : m_tools)
        tool->paint(painter, mapping);
}

} // namespace lumora
