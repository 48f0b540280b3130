// The one list of the editor's built tools; a new tool adds its line here.
#include "app/editor/ArrowTool.h"
#include "app/editor/BackgroundTool.h"
#include "app/editor/CropTool.h"
#include "app/editor/EditorController.h"
#include "app/editor/RectangleTool.h"
#include "app/editor/StrokeTools.h"
#include "app/editor/TextTool.h"

namespace lumora {

void addBuiltTools(EditorController& editor)
{
    editor.addTool(std::make_unique<RectangleTool>(editor));
    editor.addTool(std::make_unique<FreehandTool>(editor));
    editor.addTool(std::make_unique<FillTool>(editor));
    editor.addTool(std::make_unique<ArrowTool>(editor));
    editor.addTool(std::make_unique<TextTool>(editor));
    editor.addTool(std::make_unique<CropTool>(editor));
    editor.addTool(std::make_unique<BackgroundTool>(editor));
}

} // namespace lumora
