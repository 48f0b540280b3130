#pragma once

#include "ui/editor/EditorToolUi.h"

namespace lumora {

class CropTool;

[[nodiscard]] std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, CropTool& tool);

} // namespace lumora
