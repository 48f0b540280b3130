#pragma once

#include "ui/editor/EditorToolUi.h"

namespace lumora {

class ArrowTool;

[[nodiscard]] std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, ArrowTool& tool);

} // namespace lumora
