// The one list of the editor's built tools, in toolbar order; a new tool adds its line here.
#include "app/editor/ArrowTool.h"
#include "app/editor/BackgroundTool.h"
#include "app/editor/CropTool.h"
#include "app/editor/EditorController.h"
#include "app/editor/RectangleTool.h"
#include "app/editor/StrokeTools.h"
#include "app/editor/TextTool.h"
#include "ui/editor/ArrowUi.h"
#include "ui/editor/BackgroundUi.h"
#include "ui/editor/CropUi.h"
#include "ui/editor/ShapeToolUis.h"
#include "ui/editor/TextUi.h"

namespace lumora {

namespace {

template <class Tool>
void add(EditorController& editor, EditorToolUis& uis)
{
    Tool& tool = editor.addTool(std::make_unique<Tool>(editor));
    uis.push_back(makeToolUi(editor, tool));
}

} // namespace

EditorToolUis addBuiltTools(EditorController& editor)
{
    EditorToolUis uis;
    add<RectangleTool>(editor, uis);
    add<FreehandTool>(editor, uis);
    add<FillTool>(editor, uis);
    add<ArrowTool>(editor, uis);
    add<TextTool>(editor, uis);
    add<CropTool>(editor, uis);
    add<BackgroundTool>(editor, uis);
    return uis;
}

} // namespace lumora
