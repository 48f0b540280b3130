#include "app/editor/ArrowTool.h"

#include "app/editor/EditorController.h"
#include "base/UiThread.h"
#include "model/ImageProcessor.h"

#include <QLineF>
#include <cmath>

namespace lumora {

namespace {

QPointF midpoint(QPointF a, QPointF b)
{
    return (a + b) / 2;
}

/// Hands the oldest waiting arrow to the processor.
void handOverOne(ImageProcessor& processor, const QUuid& id, std::deque<Arrow>& waiting)
{
    if (waiting.empty())
        return;
    const Arrow arrow = waiting.front();
    waiting.pop_front();
    processor.addArrow(id, arrow);
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

ArrowTool::ArrowTool(EditorController& editor) : EditorTool(editor)
{
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

void ArrowTool::dragChanged(QPointF start, QPointF current)
{
    using K = ArrowDragMode::Kind;
    EditorState& s = m_editor.state();
    if (!s.arrowDragMode) {
        const ArrowDragMode chosen = hitTest(start, s.editingArrowStart, s.editingArrowEnd);
        if (chosen.kind == K::drawNew && s.editingArrowStart)
            commit(true);
        s.arrowDragMode = chosen;
    }
    switch (s.arrowDragMode->kind) {
    case K::moveAll: {
        const QPointF offset(s.arrowDragMode->offset.width(), s.arrowDragMode->offset.height());
        const QPointF shift = (current - offset) - midpoint(*s.editingArrowStart, s.editingArrowEnd);
        s.editingArrowStart = *s.editingArrowStart + shift;
        s.editingArrowEnd += shift;
        break;
    }
    case K::moveStart: s.editingArrowStart = current; break;
    case K::moveEnd: s.editingArrowEnd = current; break;
    case K::drawNew:
        if (!s.arrowStart)
            s.arrowStart = start;
        s.arrowCurrent = current;
        break;
    }
}

void ArrowTool::dragEnded()
{
    EditorState& s = m_editor.state();
    if (s.arrowStart && QLineF(*s.arrowStart, s.arrowCurrent).length() >= kMinimumLength) {
        s.editingArrowStart = s.arrowStart;
        s.editingArrowEnd = s.arrowCurrent;
    }
    s.arrowStart.reset();
    s.arrowCurrent = QPointF(0, 0);
    s.arrowDragMode.reset();
}

void ArrowTool::commit(bool liveSize)
{
    EditorState& s = m_editor.state();
    if (!s.editingArrowStart)
        return;
    auto map = [&](QPointF p) { return liveSize ? m_editor.toImage(p) : m_editor.toImageWithLastKnownSize(p); };
    const QPointF p1 = map(*s.editingArrowStart);
    const QPointF p2 = map(s.editingArrowEnd);
    const double k = liveSize ? m_editor.pixelsPerPoint() : m_editor.pixelsPerPointWithLastKnownSize();
    const double dx = p2.x() - p1.x();
    const double dy = p2.y() - p1.y();

    ImageProcessor& processor = m_editor.processor();
    processor.currentArrowLength = std::hypot(dx, dy);
    processor.currentArrowLineWidth = k * s.arrowLineWidth;
    processor.currentArrowColorHex = s.arrowColorHex;
    // The record takes its length, width and colour from those fields now: a second commit
    // before the queued hand-over runs must not give this arrow the next one's values.
    m_handOvers->push_back(Arrow{p1, std::atan2(dy, dx), processor.currentArrowLength, processor.currentArrowLineWidth,
                                 processor.currentArrowColorHex});

    // The canvas keeps showing the arrow until the preview that contains it arrives.
    ArrowHeadView head{*s.editingArrowStart, s.editingArrowEnd, s.arrowLineWidth};
    QPainterPathStroker stroker;
    stroker.setWidth(s.arrowLineWidth);
    stroker.setCapStyle(Qt::FlatCap);
    const auto corners = head.corners();
    QPainterPath shaft(*s.editingArrowStart);
    shaft.lineTo(midpoint(corners[0], midpoint(corners[1], corners[2]))); // ends inside the head
    const QPainterPath shape = stroker.createStroke(shaft).united(head.path());
    m_editor.addPendingShape({shape.toFillPolygon(), s.arrowColorHex, QColor(0xFF, 0x3B, 0x30)});

    postTo(&processor, [processor = &processor, id = m_editor.photoId(), waiting = m_handOvers] {
        handOverOne(*processor, id, *waiting);
    });
    s.editingArrowStart.reset();
    s.editingArrowEnd = QPointF(0, 0);
}

void ArrowTool::finishHandOvers()
{
    while (!m_handOvers->empty())
        handOverOne(m_editor.processor(), m_editor.photoId(), *m_handOvers);
}

void ArrowTool::afterUndo()
{
    EditorState& s = m_editor.state();
    s.arrowStart.reset();
    s.arrowCurrent = QPointF(0, 0);
    s.editingArrowStart.reset();
    s.editingArrowEnd = QPointF(0, 0);
}

QString ArrowTool::hint() const
{
    if (m_editor.state().editingArrowStart)
        return QStringLiteral("Endpunkte ziehen · Mitte ziehen zum Verschieben · Klick daneben zum Festschreiben");
    return QStringLiteral("Ziehe einen Pfeil auf das Bild");
}

} // namespace lumora
