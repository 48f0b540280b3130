// The one list of the editor's built tools; a new tool adds its line here.
#include "app/editor/BackgroundTool.h"
#include "app/editor/EditorController.h"
#include "app/editor/RectangleTool.h"
#include "app/editor/StrokeTools.h"

namespace lumora {

void addBuiltTools(EditorController& editor)
{
    editor.addTool(std::make_unique<RectangleTool>(editor));
    editor.addTool(std::make_unique<FreehandTool>(editor));
    editor.addTool(std::make_unique<FillTool>(editor));
    editor.addTool(std::make_unique<BackgroundTool>(editor));
}

} // namespace lumora
