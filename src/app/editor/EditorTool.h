#pragma once

#include "app/editor/EditorState.h"

#include <QPointF>
#include <QString>

namespace lumora {

class EditorController;

/// One mode's tool: a state machine over the editor's state record that the editor feeds with
/// drags and asks to commit. A tool only reads and writes its own group of the record and
/// reaches the photo, the processor and the canvas mapping through the editor. UI thread only.
///
/// Adding a tool is one subclass, registered in addBuiltTools(); the editor never names a tool.
class EditorTool {
public:
    explicit EditorTool(EditorController& editor) : m_editor(editor) {}
    virtual ~EditorTool() = default;
    EditorTool(const EditorTool&) = delete;
    EditorTool& operator=(const EditorTool&) = delete;

    [[nodiscard]] virtual DrawingMode mode() const = 0;
    /// A change of the canvas drag that started at `start` and is now at `current` (canvas
    /// points, live canvas size).
    virtual void dragChanged(QPointF start, QPointF current) = 0;
    /// The drag ended (the pointer was released).
    virtual void dragEnded() = 0;
    /// Commits what is being edited, outside a gesture (the mode changes away, the editor
    /// closes), with `lastKnownViewSize`. Nothing when nothing is being edited. Tools whose
    /// unfinished work is dropped on leaving (an unconfirmed crop frame) keep this default.
    virtual void commitPending() {}
    /// Runs now what the tool's commits queued for later (hand-overs to the processor), so
    /// that closing bakes the photo with them.
    virtual void finishHandOvers() {}
    /// Undo in this tool's mode, before the processor's undo: true when the tool undid something
    /// itself and the processor's undo is to be skipped.
    virtual bool undoOwn() { return false; }
    /// Undo in this tool's mode, after the processor's undo: drop the shape being drawn.
    virtual void afterUndo() {}
    /// The hint line in this tool's mode.
    [[nodiscard]] virtual QString hint() const = 0;

protected:
    EditorController& m_editor;
};

/// Registers every tool that is built (one line per tool).
void addBuiltTools(EditorController& editor);

} // namespace lumora
