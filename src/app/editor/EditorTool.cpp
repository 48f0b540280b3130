#include "app/editor/EditorTool.h"

#include "app/editor/EditorController.h"

namespace lumora {

void EditorTool::buttonPressed()
{
    m_editor.setMode(mode());
}

void EditorTool::changed()
{
    m_editor.toolChanged();
}

void EditorTool::finished()
{
    m_editor.toolFinished();
}

} // namespace lumora
