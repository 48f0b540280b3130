#pragma once

#include "app/editor/EditorState.h"

#include <QList>
#include <QString>
#include <optional>

namespace lumora {

class EditorController;

/// One button of the editor's toolbar.
struct EditorToolbarEntry {
    enum class Action { selectMode, startBackground, applyBackground, discardBackground, magnifier, undo };
    QString systemName;
    QString title;
    Action action = Action::selectMode;
    std::optional<DrawingMode> mode; ///< the mode it selects and shows as selected
    int group = 0;                   ///< a divider stands between groups
};

namespace editorToolbar {

/// The toolbar in order: the drawing modes, "KI-Szene" with "Anwenden" and "Abbrechen" of the
/// background result, then "In Lupe ansehen" and "Rückgängig".
[[nodiscard]] const QList<EditorToolbarEntry>& entries();
/// A mode's button is enabled once its tool is built; "KI-Szene" also not while it runs;
/// "In Lupe ansehen" while there is an image; "Rückgängig" by the editor's undo rule.
[[nodiscard]] bool isEnabled(const EditorToolbarEntry& entry, const EditorController& editor);
[[nodiscard]] bool isSelected(const EditorToolbarEntry& entry, const EditorController& editor);
/// "Anwenden" and "Abbrechen" show only in the background mode while a mask exists; the
/// others always.
[[nodiscard]] bool isVisible(const EditorToolbarEntry& entry, const EditorController& editor);
/// Runs an entry's action that needs no widget (all but the magnifier).
void trigger(EditorController& editor, const EditorToolbarEntry& entry);
/// The toolbar's mode action: clears what the new mode starts without, then changes the mode.
void selectMode(EditorController& editor, DrawingMode mode);

} // namespace editorToolbar

} // namespace lumora
