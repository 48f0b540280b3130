#pragma once

#include <QList>
#include <QString>
#include <functional>

namespace lumora {

class EditorController;

/// One button of the editor's toolbar: what it shows and what it does, bound to the editor and
/// its tools when the toolbar is made.
struct EditorToolbarEntry {
    QString systemName;
    QString title;
    int group = 0; ///< a divider stands between groups
    std::function<void()> trigger;
    QString shortcut{}; ///< shown in the button's tool tip ("Strg+Z"), empty: none
    std::function<bool()> enabled = [] { return true; };
    std::function<bool()> selected = [] { return false; };
    std::function<bool()> visible = [] { return true; };
};

/// The toolbar in order: a button per tool (in the order the tools were added) with the buttons
/// each tool adds beside its own, then "In Lupe ansehen" (`openMagnifier`, enabled while there
/// is an image), "Rückgängig" and "Wiederholen". A tool's button shows as selected while its mode
/// is on, and is disabled while the tool's work runs.
[[nodiscard]] QList<EditorToolbarEntry> editorToolbar(EditorController& editor, std::function<void()> openMagnifier);

} // namespace lumora
