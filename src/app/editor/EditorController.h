#pragma once

#include "app/editor/CanvasMapping.h"
#include "app/editor/EditorPreview.h"
#include "app/editor/EditorState.h"
#include "app/editor/EditorTool.h"

#include <QColor>
#include <QImage>
#include <QObject>
#include <QPolygonF>
#include <QUuid>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace lumora {

class Dialogs;
class ImageProcessor;
struct PhotoChanges;
struct PhotoItem;

/// A shape committed on the canvas whose pixels are not in the editor preview yet; the canvas
/// keeps drawing it until the preview that contains it arrives, so a commit never blinks.
struct PendingShape {
    QPolygonF outline; ///< canvas points; a filled polygon
    QString colorHex;
    QColor fallback;
};

/// What "In Lupe ansehen" hands to the magnifier window manager.
struct MagnifierRequest {
    QImage image;
    QString title; ///< the file name without its extension
    QUuid id;
    QSize pixelSize; ///< the photo's full (turned) size the image stands for
};

/// The editor sheet without its widgets: the state record, the mode change with the background
/// guard, the commit rules, undo, the delete key, closing, the preview triggers and the canvas
/// mapping, with one EditorTool per built mode. The photo is looked up in the processor by id on
/// every use (the two-way binding); every edit is written through the processor. UI thread only.
class EditorController : public QObject {
    Q_OBJECT
public:
    /// `dialogs` answers the background question. Registers the built tools.
    EditorController(ImageProcessor& processor, const QUuid& photoId, Dialogs& dialogs, QObject* parent = nullptr);
    ~EditorController() override;

    /// The sheet's frame for a main window content of `fensterGroesse`.
    [[nodiscard]] static QSize sheetSize(QSize fensterGroesse);

    [[nodiscard]] EditorState& state() { return m_state; }
    [[nodiscard]] const EditorState& state() const { return m_state; }
    [[nodiscard]] ImageProcessor& processor() { return m_processor; }
    [[nodiscard]] QUuid photoId() const { return m_photoId; }
    /// The answerer of the editor's questions and panels.
    [[nodiscard]] Dialogs& dialogs() { return m_dialogs; }
    /// The edited photo, or null when it left the processor's list.
    [[nodiscard]] const PhotoItem* photo() const;

    // --- tools ---
    void addTool(std::unique_ptr<EditorTool> tool);
    /// The tool of `mode`, or null while that mode's tool is not built.
    [[nodiscard]] EditorTool* tool(DrawingMode mode) const;

    // --- canvas and mapping ---
    /// The canvas has this size now (points) and shows it at `devicePixelRatio`. Writes
    /// `lastKnownViewSize`; the first call (the canvas is shown) renders the preview.
    void setCanvasSize(QSizeF size, double devicePixelRatio = 1);
    [[nodiscard]] QSizeF canvasSize() const { return m_canvasSize; }
    [[nodiscard]] CanvasMapping mapping() const;
    /// Canvas point → image pixel with the live canvas size (inside gestures).
    [[nodiscard]] QPointF toImage(QPointF p) const;
    /// Canvas point → image pixel with `lastKnownViewSize` (commits outside gestures).
    [[nodiscard]] QPointF toImageWithLastKnownSize(QPointF p) const;
    [[nodiscard]] double pixelsPerPoint() const;
    [[nodiscard]] double pixelsPerPointWithLastKnownSize() const;

    // --- gestures and commands ---
    /// The canvas drag (minimum distance 0) changed; dispatched to the current mode's tool.
    void dragChanged(QPointF start, QPointF current);
    void dragEnded();
    /// A change of `drawingMode` with its four steps (guard, text, arrow, rectangle).
    void setMode(DrawingMode mode);
    /// "Rückgängig" / Ctrl+Z.
    void undo();
    /// The photo has at least one mask, freehand overlay or text mark.
    [[nodiscard]] bool undoEnabled() const;
    /// The delete key: removes the selected text mark.
    void deleteKey();
    /// "Schließen" / Ctrl+Escape: commits, bakes text marks, then dismisses (or asks first while
    /// a background result is not applied).
    void close();
    /// The hint line of the current mode.
    [[nodiscard]] QString hint() const;
    /// What "In Lupe ansehen" shows; none when there is no image.
    [[nodiscard]] std::optional<MagnifierRequest> magnifierRequest() const;

    /// The image the canvas shows: the editor preview, else the photo's preview, else null.
    [[nodiscard]] QImage canvasImage() const;
    /// Committed shapes not yet in the shown preview (canvas points).
    [[nodiscard]] const std::vector<PendingShape>& pendingShapes() const { return m_pending; }
    /// Records a committed shape for the canvas until the next preview contains it.
    void addPendingShape(PendingShape shape);
    /// Takes back the last recorded shape (its commit stored nothing).
    void dropLastPendingShape();

    // --- the background result (its tool does the work; the guard and closing ask here) ---
    /// What "Anwenden" and "Verwerfen" of the background question do beyond the shell's steps.
    /// An apply that keeps `isFreistellerAnwenden` set when it returns is still running; a
    /// pending close then waits for it (`wartenAufSchliessen` stays set, and the apply calls
    /// finishPendingClose() when it is over).
    struct BackgroundActions {
        std::function<void()> apply;
        std::function<void()> discard;
    };
    void setBackgroundActions(BackgroundActions actions) { m_background = std::move(actions); }
    /// The apply that a close waits for is over: dismisses the sheet when a close is pending.
    void finishPendingClose();

    /// The preview renderer (tests wait for it).
    [[nodiscard]] EditorPreviewRenderer& previewRenderer() { return m_preview; }

Q_SIGNALS:
    /// Something the sheet shows changed (state, hint, enable rules).
    void changed();
    /// A new editor preview is in the state.
    void previewChanged();
    /// The sheet is to be dismissed.
    void dismissRequested();

private:
    void photosChanged(const PhotoChanges& changes);
    void renderPreview();
    void askAboutBackground();
    void discardBackground();
    void commitEditedText();
    void setTextMarks(QList<TextMark> marks);
    void runModeChangeSteps(DrawingMode mode);

    ImageProcessor& m_processor;
    QUuid m_photoId;
    Dialogs& m_dialogs;
    EditorState m_state;
    std::map<DrawingMode, std::unique_ptr<EditorTool>> m_tools;
    QSizeF m_canvasSize;
    double m_devicePixelRatio = 1;
    bool m_shown = false;
    EditorPreviewRenderer m_preview;
    std::vector<PendingShape> m_pending;
    BackgroundActions m_background;

    struct Triggers {
        qsizetype masks = 0;
        qsizetype overlays = 0;
        double rotation = 0;
        friend bool operator==(const Triggers&, const Triggers&) = default;
    };
    Triggers m_triggers;
};

} // namespace lumora
