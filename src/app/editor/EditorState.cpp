#include "app/editor/EditorState.h"

namespace lumora {

void clearDragInProgress(EditorState& state)
{
    state.drawingRect.reset();
    state.freehandPoints.clear();
    state.whiteFillPoints.clear();
    state.arrowStart.reset();
    state.arrowCurrent = QPointF(0, 0);
}

} // namespace lumora
