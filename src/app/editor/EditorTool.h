#pragma once

#include "app/editor/EditorToolbar.h"

#include <QList>
#include <QPointF>
#include <QString>

namespace lumora {

class EditorController;

/// The editor's modes, in toolbar order.
enum class DrawingMode { rectangle, freehand, whiteFill, arrow, text, crop, freisteller };

/// A pointer event as a tool gets it: the position in image pixels of the original (origin
/// lower-left, y up, not clamped to the photo: a point beside the photo lies beside it).
struct PointerEvent {
    QPointF position;
    int clicks = 1; ///< 2 for the press of a double click
};

/// How a tool's button looks in the editor's toolbar.
struct ToolButton {
    QString systemName;
    QString title;
    int group = 0; ///< a divider stands between groups
};

/// One mode's tool: a state machine that owns its own state, takes pointer events in image
/// pixels, and writes committed edits through the editor (EditorController::commit), which
/// keeps them for undo. Its state lives as long as the editor sheet. UI thread only.
///
/// The pointer methods and the commands return whether what the canvas shows changed; the
/// editor then tells the sheet. Work that finishes later (a background result) reports through
/// changed(). Adding a tool is one subclass and one line in the list of built tools.
class EditorTool {
public:
    explicit EditorTool(EditorController& editor) : m_editor(editor) {}
    virtual ~EditorTool() = default;
    EditorTool(const EditorTool&) = delete;
    EditorTool& operator=(const EditorTool&) = delete;

    [[nodiscard]] virtual DrawingMode mode() const = 0;
    [[nodiscard]] virtual ToolButton button() const = 0;
    /// The hint line while this tool's mode is on.
    [[nodiscard]] virtual QString hint() const = 0;

    /// The toolbar button was pressed: selects the mode (the background tool starts its work).
    virtual void buttonPressed();
    [[nodiscard]] virtual bool buttonEnabled() const { return true; }
    /// Buttons the tool adds beside its own in the toolbar (bound to the tool).
    [[nodiscard]] virtual QList<EditorToolbarEntry> extraButtons() { return {}; }
    /// The mode was entered.
    virtual void activate() {}
    /// The mode is left (or the editor closes): commits what is being edited, or drops what is
    /// dropped on leaving (an unfinished stroke).
    virtual void deactivate() {}

    virtual bool press(const PointerEvent& event)
    {
        (void)event;
        return false;
    }
    virtual bool move(const PointerEvent& event)
    {
        (void)event;
        return false;
    }
    virtual bool release(const PointerEvent& event)
    {
        (void)event;
        return false;
    }
    /// Ctrl+Z: drops the shape that is being drawn or edited and not yet committed, if any.
    /// True when there was one (committed edits are then left alone).
    virtual bool dropUnfinished() { return false; }
    /// True while something not yet committed is drawn or edited (Ctrl+Z drops it).
    [[nodiscard]] virtual bool hasUnfinished() const { return false; }
    /// The delete key in this mode; true when it deleted something.
    virtual bool deleteKey() { return false; }
    /// Escape in this mode; true when the tool used it (the editor is not closed then).
    virtual bool escapeKey() { return false; }

    /// A result of this mode that is neither applied nor discarded (a background removal):
    /// leaving the mode or closing the editor asks first what to do with it.
    [[nodiscard]] virtual bool hasUnappliedResult() const { return false; }
    /// "Anwenden" of that question: applies the result (isBusy() while that runs).
    virtual void applyResult() {}
    /// "Verwerfen" of that question: the photo shows what it showed before the result.
    virtual void discardResult() {}

    /// True while the tool's background work must finish before the sheet may close (an apply
    /// writing a file, a crop writing photos). The tool calls finished() when it is over.
    [[nodiscard]] virtual bool isBusy() const { return false; }

protected:
    /// Tells the editor that what the sheet shows changed outside a pointer event or command.
    void changed();
    /// Tells the editor that background work the close may wait for is over.
    void finished();

    EditorController& m_editor;
};

} // namespace lumora
