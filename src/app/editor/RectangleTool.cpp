#include "app/editor/RectangleTool.h"

#include "app/editor/EditorController.h"
#include "model/ImageProcessor.h"

#include <QLineF>
#include <cmath>

namespace lumora {

namespace {

/// The rectangle spanned by two points: origin at the smaller coordinates, absolute size.
QRectF spanned(QPointF a, QPointF b)
{
    return QRectF(a, b).normalized();
}

QPointF fixedCornerOpposite(RectCorner corner, const QRectF& frame)
{
    switch (corner) {
    case RectCorner::topLeft: return {frame.right(), frame.bottom()};
    case RectCorner::topRight: return {frame.left(), frame.bottom()};
    case RectCorner::bottomLeft: return {frame.right(), frame.top()};
    case RectCorner::bottomRight: return {frame.left(), frame.top()};
    }
    return {};
}

} // namespace

RectDragMode RectangleTool::hitTest(QPointF p, const std::optional<QRectF>& editing)
{
    if (!editing)
        return RectDragMode::drawNew();
    const QRectF& e = *editing;
    const std::pair<QPointF, RectCorner> corners[] = {{{e.left(), e.top()}, RectCorner::topLeft},
                                                      {{e.right(), e.top()}, RectCorner::topRight},
                                                      {{e.left(), e.bottom()}, RectCorner::bottomLeft},
                                                      {{e.right(), e.bottom()}, RectCorner::bottomRight}};
    for (const auto& [point, corner] : corners) {
        if (QLineF(point, p).length() <= kCornerTolerance)
            return RectDragMode::moveCorner(corner);
    }
    const double t = kEdgeTolerance;
    const bool inXSpan = p.x() >= e.left() - t && p.x() <= e.right() + t;
    const bool inYSpan = p.y() >= e.top() - t && p.y() <= e.bottom() + t;
    if (std::abs(p.y() - e.top()) <= t && inXSpan)
        return RectDragMode::moveEdge(RectEdge::top);
    if (std::abs(p.y() - e.bottom()) <= t && inXSpan)
        return RectDragMode::moveEdge(RectEdge::bottom);
    if (std::abs(p.x() - e.left()) <= t && inYSpan)
        return RectDragMode::moveEdge(RectEdge::left);
    if (std::abs(p.x() - e.right()) <= t && inYSpan)
        return RectDragMode::moveEdge(RectEdge::right);
    if (e.adjusted(-kMoveMargin, -kMoveMargin, kMoveMargin, kMoveMargin).contains(p))
        return RectDragMode::moveAll();
    return RectDragMode::drawNew();
}

void RectangleTool::dragChanged(QPointF start, QPointF current)
{
    EditorState& s = m_editor.state();
    if (!s.rectDragMode) {
        s.rectDragMode = hitTest(start, s.editingRect);
        s.rectDragStartPoint = start;
        s.rectDragStartFrame = s.editingRect.value_or(QRectF());
        if (s.rectDragMode->kind == RectDragMode::Kind::drawNew && s.editingRect) {
            const RectDragMode keep = *s.rectDragMode; // the commit clears the drag mode
            commit(true);
            s.rectDragMode = keep;
        }
    }
    if (s.rectDragMode->kind == RectDragMode::Kind::drawNew) {
        if (!s.drawingRect)
            s.viewDragStart = start;
        s.drawingRect = spanned(s.viewDragStart, current);
        return;
    }
    s.editingRect = reshaped(*s.rectDragMode, current);
}

QRectF RectangleTool::reshaped(const RectDragMode& mode, QPointF current) const
{
    const EditorState& s = m_editor.state();
    const QRectF& frame = s.rectDragStartFrame;
    const double dx = current.x() - s.rectDragStartPoint.x();
    const double dy = current.y() - s.rectDragStartPoint.y();
    switch (mode.kind) {
    case RectDragMode::Kind::moveCorner: return spanned(fixedCornerOpposite(mode.corner, frame), current);
    case RectDragMode::Kind::moveEdge: {
        QRectF r = frame;
        switch (mode.edge) {
        case RectEdge::top: r.setRect(r.x(), r.y() + dy, r.width(), r.height() - dy); break;
        case RectEdge::right: r.setWidth(r.width() + dx); break;
        case RectEdge::bottom: r.setHeight(r.height() + dy); break;
        case RectEdge::left: r.setRect(r.x() + dx, r.y(), r.width() - dx, r.height()); break;
        }
        return r.normalized();
    }
    case RectDragMode::Kind::moveAll: return frame.translated(dx, dy);
    case RectDragMode::Kind::drawNew: break;
    }
    return frame;
}

void RectangleTool::dragEnded()
{
    EditorState& s = m_editor.state();
    if (s.rectDragMode && s.rectDragMode->kind == RectDragMode::Kind::drawNew && s.drawingRect
        && s.drawingRect->width() >= kMinimumSide && s.drawingRect->height() >= kMinimumSide)
        s.editingRect = s.drawingRect;
    s.drawingRect.reset();
    s.rectDragMode.reset();
    s.rectDragStartFrame = QRectF();
}

void RectangleTool::commit(bool liveSize)
{
    EditorState& s = m_editor.state();
    if (!s.editingRect)
        return;
    const QRectF e = *s.editingRect;
    auto map = [&](QPointF p) { return liveSize ? m_editor.toImage(p) : m_editor.toImageWithLastKnownSize(p); };
    const QPointF a = map(e.topLeft());
    const QPointF b = map(e.bottomRight());
    const MaskRect mask{
        QRectF(std::min(a.x(), b.x()), std::min(a.y(), b.y()), std::abs(a.x() - b.x()), std::abs(a.y() - b.y())),
        s.rectColorHex};
    if (const PhotoItem* photo = m_editor.photo()) {
        m_editor.addPendingShape({QPolygonF(e), s.rectColorHex, Qt::white});
        PhotoItem edited = *photo;
        edited.edits.masks.append(mask);
        m_editor.processor().updatePhoto(edited);
        m_editor.processor().refreshPreviews();
    }
    s.editingRect.reset();
    s.rectDragMode.reset();
    s.rectDragStartFrame = QRectF();
}

void RectangleTool::afterUndo()
{
    EditorState& s = m_editor.state();
    s.drawingRect.reset();
    s.editingRect.reset();
    s.rectDragMode.reset();
    s.rectDragStartFrame = QRectF();
}

QString RectangleTool::hint() const
{
    if (m_editor.state().editingRect)
        return QStringLiteral("Ecken/Kanten ziehen zum Anpassen, Mitte verschiebt — Klick weit weg schreibt fest");
    return QStringLiteral("Ziehe ein Rechteck auf das Bild — überdeckt den Bereich mit der gewählten Farbe");
}

} // namespace lumora
