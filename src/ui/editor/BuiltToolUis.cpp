// The one list of the editor tools' widget sides; a new tool adds its line here.
#include "ui/editor/EditorToolUi.h"

namespace lumora {

std::vector<std::unique_ptr<EditorToolUi>> builtToolUis()
{
    std::vector<std::unique_ptr<EditorToolUi>> list;
    list.push_back(makeRectangleUi());
    list.push_back(makeFreehandUi());
    list.push_back(makeFillUi());
    list.push_back(makeArrowUi());
    list.push_back(makeTextUi());
    list.push_back(makeCropUi());
    list.push_back(makeBackgroundUi());
    return list;
}

} // namespace lumora
