#pragma once

#include "app/editor/EditorTool.h"
#include "pipeline/EditState.h"

#include <QPainterPath>
#include <QPointF>
#include <array>
#include <deque>
#include <memory>
#include <optional>

namespace lumora {

/// The arrow's head as the canvas draws it: a closed triangle whose tip is `end`, as long as it
/// is wide at its base, 2 × `lineWidth` long and never shorter than 8 points.
struct ArrowHeadView {
    QPointF start;
    QPointF end;
    double lineWidth = 0;

    [[nodiscard]] static double headLength(double lineWidth);
    /// The three corners: the tip, then the base's two ends.
    [[nodiscard]] std::array<QPointF, 3> corners() const;
    [[nodiscard]] QPainterPath path() const;
};

/// The `arrow` mode: drag out an arrow, adjust it by its ends or move it by its shaft, and
/// commit it as an Arrow of the photo (start, angle and length in image pixels).
class ArrowTool : public EditorTool {
public:
    /// How near an end or the shaft a press grabs it (canvas points).
    static constexpr double kGrabTolerance = 30;
    /// A new arrow shorter than this is not created (a plain click).
    static constexpr double kMinimumLength = 8;

    explicit ArrowTool(EditorController& editor);

    /// What a press at `p` does to the arrow being edited (`start` present while one is).
    [[nodiscard]] static ArrowDragMode hitTest(QPointF p, const std::optional<QPointF>& start, QPointF end);
    /// Distance from `p` to the segment `a`–`b` (to `a` for a segment of no length).
    [[nodiscard]] static double distanceToSegment(QPointF p, QPointF a, QPointF b);

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::arrow; }
    void dragChanged(QPointF start, QPointF current) override;
    void dragEnded() override;
    void commitPending() override { commit(false); }
    void afterUndo() override;
    void finishHandOvers() override;
    [[nodiscard]] QString hint() const override;

    /// Commits the arrow being edited, mapped with the live canvas size or `lastKnownViewSize`:
    /// sets the processor's `currentArrow…` fields and queues the hand-over (`addArrow`) on the
    /// UI thread. Nothing when no arrow is being edited.
    void commit(bool liveSize);

private:
    /// Arrows committed whose hand-over has not run yet, oldest first; shared with the queued
    /// calls, which may outlive the tool.
    std::shared_ptr<std::deque<Arrow>> m_handOvers = std::make_shared<std::deque<Arrow>>();
};

} // namespace lumora
