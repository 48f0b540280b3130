#pragma once

#include "ui/editor/EditorToolUi.h"

namespace lumora {

class FillTool;
class FreehandTool;
class RectangleTool;

[[nodiscard]] std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, RectangleTool& tool);
[[nodiscard]] std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, FreehandTool& tool);
[[nodiscard]] std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, FillTool& tool);

} // namespace lumora
