#include "app/editor/RectangleTool.h"

#include "app/editor/EditorController.h"
#include "model/PhotoItem.h"

#include <QLineF>
#include <array>
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

QPointF edgeMidpoint(RectEdge edge, const QRectF& frame)
{
    const QPointF c = frame.center();
    switch (edge) {
    case RectEdge::top: return {c.x(), frame.top()};
    case RectEdge::right: return {frame.right(), c.y()};
    case RectEdge::bottom: return {c.x(), frame.bottom()};
    case RectEdge::left: return {frame.left(), c.y()};
    }
    return c;
}

/// Which side of `frame` (0 left, 1 right, 2 lower, 3 upper in image pixels) lies nearest `p`.
int nearestSide(QPointF p, const QRectF& frame)
{
    const std::array<double, 4> distance{std::abs(p.x() - frame.left()), std::abs(p.x() - frame.right()),
                                         std::abs(p.y() - frame.top()), std::abs(p.y() - frame.bottom())};
    return int(std::min_element(distance.begin(), distance.end()) - distance.begin());
}

} // namespace

ToolButton RectangleTool::button() const
{
    return {QStringLiteral("crop"), QStringLiteral("Rechteck"), 0};
}

QString RectangleTool::hint() const
{
    if (m_editingRect)
        return QStringLiteral("Ecken/Kanten ziehen zum Anpassen, Mitte verschiebt — Klick weit weg schreibt fest");
    return QStringLiteral("Ziehe ein Rechteck auf das Bild — überdeckt den Bereich mit der gewählten Farbe");
}

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

bool RectangleTool::press(const PointerEvent& event)
{
    const CanvasMapping mapping = m_editor.mapping();
    const std::optional<QRectF> editingOnCanvas =
        m_editingRect ? std::optional<QRectF>(mapping.toCanvas(*m_editingRect)) : std::nullopt;
    const RectDragMode chosen = hitTest(mapping.toCanvas(event.position), editingOnCanvas);
    if (chosen.kind == RectDragMode::Kind::drawNew)
        commit(); // a press away from the rectangle being edited fixes it
    m_rectDragMode = chosen;
    m_rectDragStartPoint = event.position;
    m_rectDragStartFrame = m_editingRect.value_or(QRectF());
    // The grabbed corner or edge is found on the canvas, where the user sees it; the reshape is
    // done in image pixels, where it stays put when the canvas changes size during the drag.
    if (chosen.kind == RectDragMode::Kind::moveCorner)
        m_fixedCorner = mapping.toImageUnclamped(fixedCornerOpposite(chosen.corner, *editingOnCanvas));
    else if (chosen.kind == RectDragMode::Kind::moveEdge)
        m_movingSide =
            nearestSide(mapping.toImageUnclamped(edgeMidpoint(chosen.edge, *editingOnCanvas)), m_rectDragStartFrame);
    if (chosen.kind == RectDragMode::Kind::drawNew) {
        m_viewDragStart = event.position;
        m_drawingRect = spanned(m_viewDragStart, event.position);
    }
    return true;
}

bool RectangleTool::move(const PointerEvent& event)
{
    if (!m_rectDragMode)
        return false;
    reshape(event.position);
    return true;
}

void RectangleTool::reshape(QPointF current)
{
    const QPointF d = current - m_rectDragStartPoint;
    QRectF r = m_rectDragStartFrame;
    switch (m_rectDragMode->kind) {
    case RectDragMode::Kind::drawNew: m_drawingRect = spanned(m_viewDragStart, current); return;
    case RectDragMode::Kind::moveAll: m_editingRect = r.translated(d); return;
    case RectDragMode::Kind::moveCorner: m_editingRect = spanned(m_fixedCorner, current); return;
    case RectDragMode::Kind::moveEdge:
        switch (m_movingSide) {
        case 0: r.setLeft(r.left() + d.x()); break;
        case 1: r.setRight(r.right() + d.x()); break;
        case 2: r.setTop(r.top() + d.y()); break;
        default: r.setBottom(r.bottom() + d.y()); break;
        }
        m_editingRect = r.normalized();
        return;
    }
}

bool RectangleTool::release(const PointerEvent& event)
{
    if (!m_rectDragMode)
        return false;
    reshape(event.position);
    if (m_rectDragMode->kind == RectDragMode::Kind::drawNew && m_drawingRect) {
        const QRectF onCanvas = m_editor.mapping().toCanvas(*m_drawingRect);
        // A hair below the side counts: the round trip through image pixels is not exact.
        if (onCanvas.width() >= kMinimumSide - 1e-6 && onCanvas.height() >= kMinimumSide - 1e-6)
            m_editingRect = m_drawingRect;
    }
    m_drawingRect.reset();
    m_rectDragMode.reset();
    m_rectDragStartFrame = QRectF();
    return true;
}

bool RectangleTool::dropUnfinished()
{
    if (!hasUnfinished())
        return false;
    m_drawingRect.reset();
    m_editingRect.reset();
    m_rectDragMode.reset();
    m_rectDragStartFrame = QRectF();
    return true;
}

void RectangleTool::setRectColorHex(const QString& hex)
{
    m_rectColorHex = hex;
    changed();
}

void RectangleTool::commit()
{
    if (!m_editingRect)
        return;
    const QRectF rect = std::exchange(m_editingRect, std::nullopt).value();
    m_rectDragMode.reset();
    m_rectDragStartFrame = QRectF();
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return;
    // What lies beside the photo is cut off, as the file would cut it.
    const QRectF onPhoto = rect.intersected(QRectF(QPointF(0, 0), QSizeF(photo->originalCI.size())));
    if (onPhoto.isEmpty())
        return;
    EditState edits = photo->edits;
    edits.masks.append(MaskRect{onPhoto, m_rectColorHex});
    m_editor.commit(edits);
}

} // namespace lumora
