#include "app/editor/EditorToolbar.h"

#include "app/editor/EditorController.h"

namespace lumora {

QList<EditorToolbarEntry> editorToolbar(EditorController& editor, std::function<void()> openMagnifier)
{
    QList<EditorToolbarEntry> entries;
    int lastGroup = 0;
    for (const auto& tool : editor.tools()) {
        EditorTool* t = tool.get();
        const ToolButton button = t->button();
        lastGroup = std::max(lastGroup, button.group);
        EditorToolbarEntry entry{button.systemName, button.title, button.group, [t] { t->buttonPressed(); }};
        entry.enabled = [t] { return t->buttonEnabled(); };
        entry.selected = [t, &editor] { return editor.drawingMode() == t->mode(); };
        entries.append(entry);
        for (EditorToolbarEntry extra : t->extraButtons()) {
            extra.group = button.group;
            entries.append(extra);
        }
    }
    const int group = lastGroup + 1;
    EditorToolbarEntry magnifier{QStringLiteral("magnifyingglass"), QStringLiteral("In Lupe ansehen"), group,
                                 std::move(openMagnifier)};
    magnifier.enabled = [&editor] { return editor.magnifierRequest().has_value(); };
    EditorToolbarEntry undo{QStringLiteral("arrow.uturn.backward"), QStringLiteral("Rückgängig"), group,
                            [&editor] { editor.undo(); }};
    undo.enabled = [&editor] { return editor.undoEnabled(); };
    undo.shortcut = QStringLiteral("Strg+Z");
    EditorToolbarEntry redo{QStringLiteral("arrow.uturn.forward"), QStringLiteral("Wiederholen"), group,
                            [&editor] { editor.redo(); }};
    redo.enabled = [&editor] { return editor.redoEnabled(); };
    redo.shortcut = QStringLiteral("Strg+⇧+Z");
    entries << magnifier << undo << redo;
    return entries;
}

} // namespace lumora
