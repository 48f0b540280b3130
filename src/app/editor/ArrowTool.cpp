#include "app/editor/ArrowTool.h"

#include "app/editor/EditorController.h"
#include "model/ImageProcessor.h"
#include "pipeline/Overlays.h"

#include <QLineF>
#include <cmath>

namespace lumora {

namespace {

QPointF midpoint(QPointF a, QPointF b)
{
    return (a + b) / 2;
}

} // namespace

double ArrowHeadView::headLength(double lineWidth)
{
    return std::max(2 * lineWidth, 8.0);
}

std::array<QPointF, 3> ArrowHeadView::corners() const
{
    const double theta = std::atan2(end.y() - start.y(), end.x() - start.x());
    const double length = headLength(lineWidth);
    const QPointF direction(std::cos(theta), std::sin(theta));
    const QPointF base = end - length * direction;
    const QPointF across(std::sin(theta), -std::cos(theta));
    return {end, base + length / 2 * across, base - length / 2 * across};
}

QPainterPath ArrowHeadView::path() const
{
    const auto c = corners();
    QPainterPath path(c[0]);
    path.lineTo(c[1]);
    path.lineTo(c[2]);
    path.closeSubpath();
    return path;
}

ToolButton ArrowTool::button() const
{
    return {QStringLiteral("arrow.up.right"), QStringLiteral("Pfeil"), 0};
}

QString ArrowTool::hint() const
{
    if (m_editingArrowStart)
        return QStringLiteral("Endpunkte ziehen · Mitte ziehen zum Verschieben · Klick daneben zum Festschreiben");
    return QStringLiteral("Ziehe einen Pfeil auf das Bild");
}

double ArrowTool::distanceToSegment(QPointF p, QPointF a, QPointF b)
{
    const QPointF d = b - a;
    const double q = QPointF::dotProduct(d, d);
    if (q < 0.0001)
        return QLineF(p, a).length();
    const double t = std::clamp(QPointF::dotProduct(p - a, d) / q, 0.0, 1.0);
    return QLineF(p, a + t * d).length();
}

ArrowDragMode ArrowTool::hitTest(QPointF p, const std::optional<QPointF>& start, QPointF end)
{
    using K = ArrowDragMode::Kind;
    if (!start)
        return {K::drawNew, {}};
    if (QLineF(p, *start).length() <= kGrabTolerance)
        return {K::moveStart, {}};
    if (QLineF(p, end).length() <= kGrabTolerance)
        return {K::moveEnd, {}};
    if (distanceToSegment(p, *start, end) <= kGrabTolerance) {
        const QPointF offset = p - midpoint(*start, end);
        return {K::moveAll, QSizeF(offset.x(), offset.y())};
    }
    return {K::drawNew, {}};
}

bool ArrowTool::press(const PointerEvent& event)
{
    using K = ArrowDragMode::Kind;
    const CanvasMapping mapping = m_editor.mapping();
    const std::optional<QPointF> start =
        m_editingArrowStart ? std::optional<QPointF>(mapping.toCanvas(*m_editingArrowStart)) : std::nullopt;
    ArrowDragMode chosen = hitTest(mapping.toCanvas(event.position), start, mapping.toCanvas(m_editingArrowEnd));
    if (chosen.kind == K::drawNew && m_editingArrowStart)
        commit();                    // a press away from the arrow being edited fixes it
    if (chosen.kind == K::moveAll) { // the grab offset in image pixels, where the move is made
        const QPointF offset = event.position - midpoint(*m_editingArrowStart, m_editingArrowEnd);
        chosen.offset = QSizeF(offset.x(), offset.y());
    }
    m_arrowDragMode = chosen;
    if (chosen.kind == K::drawNew) {
        m_arrowStart = event.position;
        m_arrowCurrent = event.position;
    }
    return true;
}

bool ArrowTool::move(const PointerEvent& event)
{
    using K = ArrowDragMode::Kind;
    if (!m_arrowDragMode)
        return false;
    const QPointF c = event.position;
    switch (m_arrowDragMode->kind) {
    case K::moveAll: {
        const QPointF offset(m_arrowDragMode->offset.width(), m_arrowDragMode->offset.height());
        const QPointF shift = (c - offset) - midpoint(*m_editingArrowStart, m_editingArrowEnd);
        m_editingArrowStart = *m_editingArrowStart + shift;
        m_editingArrowEnd += shift;
        break;
    }
    case K::moveStart: m_editingArrowStart = c; break;
    case K::moveEnd: m_editingArrowEnd = c; break;
    case K::drawNew: m_arrowCurrent = c; break;
    }
    return true;
}

bool ArrowTool::release(const PointerEvent& event)
{
    if (!m_arrowDragMode)
        return false;
    move(event);
    if (m_arrowStart) {
        const CanvasMapping mapping = m_editor.mapping();
        if (QLineF(mapping.toCanvas(*m_arrowStart), mapping.toCanvas(m_arrowCurrent)).length()
            >= kMinimumLength - 1e-6) {
            m_editingArrowStart = m_arrowStart;
            m_editingArrowEnd = m_arrowCurrent;
        }
    }
    m_arrowStart.reset();
    m_arrowCurrent = QPointF(0, 0);
    m_arrowDragMode.reset();
    return true;
}

void ArrowTool::deactivate()
{
    commit();
    m_arrowStart.reset();
    m_arrowDragMode.reset();
}

bool ArrowTool::dropUnfinished()
{
    if (!hasUnfinished())
        return false;
    m_arrowStart.reset();
    m_arrowCurrent = QPointF(0, 0);
    m_editingArrowStart.reset();
    m_editingArrowEnd = QPointF(0, 0);
    m_arrowDragMode.reset();
    return true;
}

void ArrowTool::setArrowLineWidth(double points)
{
    m_arrowLineWidth = points;
    changed();
}

void ArrowTool::setArrowColorHex(const QString& hex)
{
    m_arrowColorHex = hex;
    changed();
}

void ArrowTool::commit()
{
    if (!m_editingArrowStart)
        return;
    const QPointF p1 = *std::exchange(m_editingArrowStart, std::nullopt);
    const QPointF p2 = std::exchange(m_editingArrowEnd, QPointF(0, 0));
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return;
    // The ends are not clamped to the photo: an arrow pointing past an edge keeps its direction
    // and is clipped there, in the file as on the canvas.
    const double dx = p2.x() - p1.x();
    const double dy = p2.y() - p1.y();
    ImageProcessor& processor = m_editor.processor();
    processor.currentArrowLength = std::hypot(dx, dy);
    processor.currentArrowLineWidth = m_editor.mapping().pixelsPerPoint() * m_arrowLineWidth;
    processor.currentArrowColorHex = m_arrowColorHex;
    const Arrow arrow{p1, std::atan2(dy, dx), processor.currentArrowLength, processor.currentArrowLineWidth,
                      processor.currentArrowColorHex};
    const std::optional<Overlay> overlay = rasterizeArrow(arrow, photo->originalCI.size());
    if (!overlay)
        return;
    EditState edits = photo->edits;
    edits.freehandOverlays.append(*overlay);
    m_editor.commit(edits);
}

} // namespace lumora
