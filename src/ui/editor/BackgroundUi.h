#pragma once

#include "ui/editor/EditorToolUi.h"

namespace lumora {

class BackgroundTool;

[[nodiscard]] std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, BackgroundTool& tool);

} // namespace lumora
