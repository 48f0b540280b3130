#include "app/editor/StrokeTools.h"

#include "app/editor/EditorController.h"
#include "model/PhotoItem.h"
#include "pipeline/Overlays.h"

#include <QPolygonF>

namespace lumora {

namespace {

/// Commits `overlay` unless it lies wholly beside the photo (`reach`: how far its drawing
/// reaches past its points).
void commitOverlay(EditorController& editor, const std::optional<Overlay>& overlay, const QList<QPointF>& points,
                   double reach)
{
    const PhotoItem* photo = editor.photo();
    if (!photo || !overlay)
        return;
    const QRectF bounds = QPolygonF(points).boundingRect().adjusted(-reach, -reach, reach, reach);
    if (!bounds.intersects(QRectF(QPointF(0, 0), QSizeF(photo->originalCI.size()))))
        return;
    EditState edits = photo->edits;
    edits.freehandOverlays.append(*overlay);
    editor.commit(edits);
}

QSize originalSizeOf(const EditorController& editor)
{
    const PhotoItem* photo = editor.photo();
    return photo ? photo->originalCI.size() : QSize();
}

} // namespace

// --- the path of a drag ---

bool PathTool::press(const PointerEvent& event)
{
    // The press itself is the first step of the drag: a click draws a dot.
    m_points = {event.position, event.position};
    return true;
}

bool PathTool::move(const PointerEvent& event)
{
    if (m_points.isEmpty())
        return false;
    m_points.append(event.position);
    return true;
}

bool PathTool::release(const PointerEvent& event)
{
    if (m_points.isEmpty())
        return false;
    if (m_points.last() != event.position)
        m_points.append(event.position);
    commitPath(std::exchange(m_points, {}));
    return true;
}

bool PathTool::dropUnfinished()
{
    return !std::exchange(m_points, {}).isEmpty();
}

// --- freehand ---

ToolButton FreehandTool::button() const
{
    return {QStringLiteral("pencil"), QStringLiteral("Freihand"), 0};
}

QString FreehandTool::hint() const
{
    return QStringLiteral("Ziehe mit gedrückter Maustaste — zeichnet eine Linie in der gewählten Farbe und Stärke");
}

void FreehandTool::commitPath(const QList<QPointF>& points)
{
    if (points.size() < kMinimumPoints)
        return;
    const double lineWidth = m_freehandLineWidth * m_editor.mapping().pixelsPerPoint();
    commitOverlay(m_editor, rasterizeStroke(points, m_freehandColorHex, originalSizeOf(m_editor), lineWidth), points,
                  lineWidth / 2);
}

void FreehandTool::setFreehandLineWidth(double points)
{
    m_freehandLineWidth = points;
    changed();
}

void FreehandTool::setFreehandColorHex(const QString& hex)
{
    m_freehandColorHex = hex;
    changed();
}

// --- fill ---

ToolButton FillTool::button() const
{
    return {QStringLiteral("paintbrush.fill"), QStringLiteral("Füllen"), 0};
}

QString FillTool::hint() const
{
    return QStringLiteral("Umfahre einen Bereich mit gedrückter Maustaste — wird mit der gewählten Farbe gefüllt");
}

void FillTool::commitPath(const QList<QPointF>& points)
{
    if (points.size() < kMinimumPoints)
        return;
    commitOverlay(m_editor, rasterizeFilledArea(points, m_fillColorHex, originalSizeOf(m_editor)), points, 0);
}

void FillTool::setFillColorHex(const QString& hex)
{
    m_fillColorHex = hex;
    changed();
}

} // namespace lumora
