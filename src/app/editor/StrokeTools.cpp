#include "app/editor/StrokeTools.h"

#include "app/editor/EditorController.h"
#include "model/ImageProcessor.h"

namespace lumora {

void extendPath(QList<QPointF>& path, QPointF start, QPointF current)
{
    if (path.isEmpty())
        path.append(start);
    path.append(current);
}

void FreehandTool::dragChanged(QPointF start, QPointF current)
{
    extendPath(m_editor.state().freehandPoints, start, current);
}

void FreehandTool::dragEnded()
{
    EditorState& s = m_editor.state();
    if (s.freehandPoints.size() < kMinimumPoints)
        return;
    QList<QPointF> mapped;
    mapped.reserve(s.freehandPoints.size());
    for (QPointF p : s.freehandPoints)
        mapped.append(m_editor.toImage(p));
    const double lineWidth = s.freehandLineWidth * m_editor.pixelsPerPoint();
    m_editor.processor().addFreehandStroke(m_editor.photoId(), mapped, s.freehandColorHex, lineWidth);
    s.freehandPaths.append(s.freehandPoints);
    s.freehandPathLooks.append({s.freehandColorHex, s.freehandLineWidth});
}

QString FreehandTool::hint() const
{
    return QStringLiteral("Ziehe mit gedrückter Maustaste — zeichnet eine Linie in der gewählten Farbe und Stärke");
}

void FillTool::dragChanged(QPointF start, QPointF current)
{
    extendPath(m_editor.state().whiteFillPoints, start, current);
}

void FillTool::dragEnded()
{
    EditorState& s = m_editor.state();
    if (s.whiteFillPoints.size() < kMinimumPoints)
        return;
    QList<QPointF> mapped;
    mapped.reserve(s.whiteFillPoints.size());
    for (QPointF p : s.whiteFillPoints)
        mapped.append(m_editor.toImage(p));
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return;
    const qsizetype before = photo->edits.freehandOverlays.size();
    m_editor.addPendingShape({QPolygonF(s.whiteFillPoints), s.fillColorHex, Qt::white});
    m_editor.processor().addFilledArea(m_editor.photoId(), mapped, s.fillColorHex);
    // An area with nothing inside the image stores nothing, and no new preview will replace it.
    photo = m_editor.photo();
    if (!photo || photo->edits.freehandOverlays.size() == before)
        m_editor.dropLastPendingShape();
}

void FillTool::afterUndo()
{
    m_editor.state().whiteFillPoints.clear();
}

QString FillTool::hint() const
{
    return QStringLiteral("Umfahre einen Bereich mit gedrückter Maustaste — wird mit der gewählten Farbe gefüllt");
}

} // namespace lumora
