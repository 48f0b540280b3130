#pragma once

#include "app/editor/EditorState.h"

#include <QRectF>
#include <memory>
#include <vector>

class QHBoxLayout;
class QPainter;
class QString;
class QWidget;

namespace lumora {

class Dialogs;
class EditorController;

/// Adds a drawing tool's line width controls to `row`: an icon, a slider and a number field
/// (2 to 50 points) kept in step, writing `field` of the editor's state. `repaintAtOnce`: the
/// shape being edited takes the new width at once. `name` prefixes the controls' object names.
void addLineWidthControls(QHBoxLayout* row, QWidget* panel, EditorController& editor, double EditorState::*field,
                          const QString& name, bool repaintAtOnce);

/// A new panel's row, starting with "Farbe" and a colour button for `field` of the editor's
/// state (`fallback` while it holds no colour; `withAlpha` offers opacity in the colour panel).
QHBoxLayout* colorRow(QWidget* panel, EditorController& editor, Dialogs& dialogs, QString EditorState::*field,
                      QColor fallback, bool withAlpha);

/// The widget side of one editor tool: its panel of options and its feedback on the canvas.
/// Adding a tool is one subclass, listed in builtToolUis(). UI thread only.
class EditorToolUi {
public:
    virtual ~EditorToolUi() = default;

    [[nodiscard]] virtual DrawingMode mode() const = 0;
    /// The options shown beside the hint line in this tool's mode; the controls read and write
    /// the editor's state. Owned by the caller.
    [[nodiscard]] virtual QWidget* makePanel(EditorController& editor, Dialogs& dialogs) = 0;
    /// Paints what the state holds of this tool (shapes being drawn or edited, paths committed
    /// since the editor opened) over the preview, in canvas points. Called in every mode.
    virtual void paint(QPainter& painter, const EditorState& state) const = 0;
    /// The part of the canvas the tool's feedback covers now, for repainting only what a drag
    /// step changed (the canvas joins it with the area of the step before). Empty: nothing.
    [[nodiscard]] virtual QRectF changingArea(const EditorState& state) const = 0;
    /// Puts the tool's own widgets over the canvas (once, when the sheet is built); they live
    /// as long as the canvas. Most tools have none.
    virtual void attachToCanvas(QWidget* canvas, EditorController& editor)
    {
        (void)canvas;
        (void)editor;
    }
};

/// The widget sides of every built tool.
[[nodiscard]] std::vector<std::unique_ptr<EditorToolUi>> builtToolUis();

[[nodiscard]] std::unique_ptr<EditorToolUi> makeRectangleUi();
[[nodiscard]] std::unique_ptr<EditorToolUi> makeFreehandUi();
[[nodiscard]] std::unique_ptr<EditorToolUi> makeFillUi();
[[nodiscard]] std::unique_ptr<EditorToolUi> makeArrowUi();
[[nodiscard]] std::unique_ptr<EditorToolUi> makeTextUi();
[[nodiscard]] std::unique_ptr<EditorToolUi> makeCropUi();
[[nodiscard]] std::unique_ptr<EditorToolUi> makeBackgroundUi();

/// The system red that a red colour string falls back to.
inline const QColor kSystemRed{0xFF, 0x3B, 0x30};

} // namespace lumora
