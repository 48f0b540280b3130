#pragma once

#include "ui/editor/ColorButton.h"

#include <QColor>
#include <QRectF>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QString;
class QWidget;

namespace lumora {

class Dialogs;
class EditorController;
struct CanvasMapping;

/// The widget side of one editor tool, made with its concrete tool: the panel of options beside
/// the hint line and the tool's feedback on the canvas. It reads the tool's state and calls its
/// methods; it keeps no state of its own about the editing. UI thread only.
class EditorToolUi {
public:
    virtual ~EditorToolUi() = default;

    /// The options shown in this tool's mode (null: none). Owned by the caller.
    [[nodiscard]] virtual QWidget* makePanel(Dialogs& dialogs) = 0;
    /// Paints the tool's feedback (shapes being drawn or edited) over the preview; `mapping`
    /// puts the tool's image pixels on the canvas. Called in every mode.
    virtual void paint(QPainter& painter, const CanvasMapping& mapping) const = 0;
    /// The part of the canvas the tool's feedback covers now, for repainting only what a drag
    /// step changed (the canvas joins it with the area of the step before). Empty: nothing.
    [[nodiscard]] virtual QRectF changingArea(const CanvasMapping& mapping) const = 0;
    /// Puts the tool's own widgets over the canvas (once, when the sheet is built); they live as
    /// long as the canvas. Most tools have none.
    virtual void attachToCanvas(QWidget* canvas) { (void)canvas; }
};

using EditorToolUis = std::vector<std::unique_ptr<EditorToolUi>>;

/// Adds every built tool to `editor` and returns their widget sides, in toolbar order.
[[nodiscard]] EditorToolUis addBuiltTools(EditorController& editor);

/// A line width's controls bound to a tool: read, write, and the prefix of the controls' names.
struct LineWidthBinding {
    std::function<double()> read;
    std::function<void(double)> write;
    QString name;
};

/// A drawing tool's options panel: "Farbe" with a colour button bound to `color` (`fallback`
/// while it holds no colour; `withAlpha` offers opacity in the colour panel), then, with `width`,
/// an icon, a slider and a number field (2 to 50 points) kept in step. Owned by the caller.
[[nodiscard]] QWidget* colorPanel(Dialogs& dialogs, ColorButton::Binding color, QColor fallback, bool withAlpha,
                                  std::optional<LineWidthBinding> width = std::nullopt);

/// The system red that a red colour string falls back to.
inline const QColor kSystemRed{0xFF, 0x3B, 0x30};
/// The yellow of the outlines and handles on the shape being edited.
inline const QColor kMarkerYellow{255, 214, 10};

} // namespace lumora
