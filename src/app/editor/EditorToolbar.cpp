#include "app/editor/EditorToolbar.h"

#include "app/editor/BackgroundTool.h"
#include "app/editor/EditorController.h"

namespace lumora::editorToolbar {

const QList<EditorToolbarEntry>& entries()
{
    using A = EditorToolbarEntry::Action;
    using M = DrawingMode;
    static const QList<EditorToolbarEntry> list{
        {QStringLiteral("crop"), QStringLiteral("Rechteck"), A::selectMode, M::rectangle, 0},
        {QStringLiteral("pencil"), QStringLiteral("Freihand"), A::selectMode, M::freehand, 0},
        {QStringLiteral("paintbrush.fill"), QStringLiteral("Füllen"), A::selectMode, M::whiteFill, 0},
        {QStringLiteral("arrow.up.right"), QStringLiteral("Pfeil"), A::selectMode, M::arrow, 0},
        {QStringLiteral("textformat"), QStringLiteral("Text"), A::selectMode, M::text, 0},
        {QStringLiteral("rectangle.dashed"), QStringLiteral("Zuschneiden"), A::selectMode, M::crop, 1},
        {QStringLiteral("sparkles"), QStringLiteral("KI-Szene"), A::startBackground, M::freisteller, 2},
        {QStringLiteral("checkmark.circle.fill"), QStringLiteral("Anwenden"), A::applyBackground, std::nullopt, 2},
        {QStringLiteral("xmark.circle"), QStringLiteral("Abbrechen"), A::discardBackground, std::nullopt, 2},
        {QStringLiteral("magnifyingglass"), QStringLiteral("In Lupe ansehen"), A::magnifier, std::nullopt, 3},
        {QStringLiteral("arrow.uturn.backward"), QStringLiteral("Rückgängig"), A::undo, std::nullopt, 3},
    };
    return list;
}

bool isEnabled(const EditorToolbarEntry& entry, const EditorController& editor)
{
    switch (entry.action) {
    case EditorToolbarEntry::Action::selectMode: return editor.tool(*entry.mode) != nullptr;
    case EditorToolbarEntry::Action::startBackground:
        return editor.tool(DrawingMode::freisteller) != nullptr && !editor.state().freistellerLaeuft;
    case EditorToolbarEntry::Action::applyBackground:
        return !editor.state().freistellerLaeuft && !editor.state().isFreistellerAnwenden;
    case EditorToolbarEntry::Action::discardBackground: return !editor.state().isFreistellerAnwenden;
    case EditorToolbarEntry::Action::magnifier: return editor.magnifierRequest().has_value();
    case EditorToolbarEntry::Action::undo: return editor.undoEnabled();
    }
    return false;
}

bool isSelected(const EditorToolbarEntry& entry, const EditorController& editor)
{
    return entry.mode && editor.state().drawingMode == *entry.mode;
}

bool isVisible(const EditorToolbarEntry& entry, const EditorController& editor)
{
    if (entry.action != EditorToolbarEntry::Action::applyBackground
        && entry.action != EditorToolbarEntry::Action::discardBackground)
        return true;
    return editor.state().drawingMode == DrawingMode::freisteller && editor.state().freistellerMaske.has_value();
}

void trigger(EditorController& editor, const EditorToolbarEntry& entry)
{
    auto* background = dynamic_cast<BackgroundTool*>(editor.tool(DrawingMode::freisteller));
    switch (entry.action) {
    case EditorToolbarEntry::Action::selectMode: selectMode(editor, *entry.mode); break;
    case EditorToolbarEntry::Action::startBackground:
        if (background)
            background->start();
        break;
    case EditorToolbarEntry::Action::applyBackground:
        if (background)
            background->apply();
        break;
    case EditorToolbarEntry::Action::discardBackground:
        if (background)
            background->discard();
        break;
    case EditorToolbarEntry::Action::undo: editor.undo(); break;
    case EditorToolbarEntry::Action::magnifier: break;
    }
}

void selectMode(EditorController& editor, DrawingMode mode)
{
    EditorState& state = editor.state();
    if (mode == DrawingMode::text) {
        state.selectedTextID.reset();
        state.editingTextID.reset();
    } else if (mode == DrawingMode::crop) {
        state.cropRect.reset();
    }
    editor.setMode(mode);
}

} // namespace lumora::editorToolbar
