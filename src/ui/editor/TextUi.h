#pragma once

#include "ui/editor/EditorToolUi.h"

namespace lumora {

class TextTool;

[[nodiscard]] std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, TextTool& tool);

} // namespace lumora
