#pragma once

#include "app/editor/CanvasMapping.h"
#include "app/editor/EditHistory.h"
#include "app/editor/EditorPreview.h"
#include "app/editor/EditorTool.h"
#include "pipeline/SourceImage.h"

#include <QImage>
#include <QObject>
#include <QUuid>
#include <memory>
#include <optional>
#include <vector>

namespace lumora {

class Dialogs;
class FolderBookmarkStore;
class ImageProcessor;
struct PhotoChanges;
struct PhotoItem;

/// What "In Lupe ansehen" hands to the magnifier window manager.
struct MagnifierRequest {
    QImage image;
    QString title; ///< the file name without its extension
    QUuid id;
    QSize pixelSize; ///< the photo's full (turned) size the image stands for
};

/// Annotations of the photo that the shown editor preview does not contain yet (just
/// committed): the canvas paints them over the preview until the render that has them arrives.
struct PendingAnnotations {
    QList<MaskRect> masks;
    QList<Overlay> overlays;
};

/// The editor sheet without its widgets. Owns the tools (one per mode, each with its own
/// state), the mode and its change with the guard for an unapplied result, the one canvas
/// mapping, the undo and redo of committed edits, closing, and the editor preview. The photo is
/// looked up in the processor by id on every use; every committed edit goes through commit(),
/// which records it for undo and writes it through the processor. Only this class emits the
/// editor's signals. UI thread only.
class EditorController : public QObject {
    Q_OBJECT
public:
    /// `dialogs` answers the editor's questions. Tools are added with addTool().
    EditorController(ImageProcessor& processor, const QUuid& photoId, Dialogs& dialogs, QObject* parent = nullptr);
    ~EditorController() override;

    /// The sheet's frame for a main window content of `fensterGroesse`.
    [[nodiscard]] static QSize sheetSize(QSize fensterGroesse);

    [[nodiscard]] ImageProcessor& processor() { return m_processor; }
    [[nodiscard]] QUuid photoId() const { return m_photoId; }
    [[nodiscard]] Dialogs& dialogs() { return m_dialogs; }
    /// The edited photo, or null when it left the processor's list.
    [[nodiscard]] const PhotoItem* photo() const;

    /// The main window's selection (`selectedPhotoIDs`), in selection order; the batch crop
    /// works on it. It cannot change while the window-modal sheet is open.
    void setSelectedPhotoIDs(QList<QUuid> ids) { m_selectedPhotoIDs = std::move(ids); }
    [[nodiscard]] const QList<QUuid>& selectedPhotoIDs() const { return m_selectedPhotoIDs; }
    /// The folder access that crop copies ask for their folders (null: the application's
    /// shared store). Must outlive the editor.
    void setFolderAccess(FolderBookmarkStore* folders) { m_folders = folders; }
    [[nodiscard]] FolderBookmarkStore* folderAccess() const { return m_folders; }

    // --- tools ---
    /// Adds a tool; the toolbar shows the tools in the order they were added.
    template <class Tool>
    Tool& addTool(std::unique_ptr<Tool> tool)
    {
        Tool& added = *tool;
        m_tools.push_back(std::move(tool));
        return added;
    }
    [[nodiscard]] const std::vector<std::unique_ptr<EditorTool>>& tools() const { return m_tools; }
    /// The tool of `mode`, or null while that mode has no tool.
    [[nodiscard]] EditorTool* tool(DrawingMode mode) const;
    [[nodiscard]] DrawingMode drawingMode() const { return m_drawingMode; }
    [[nodiscard]] EditorTool* activeTool() const { return tool(m_drawingMode); }

    // --- canvas ---
    /// The canvas has this size now (points) and shows it at `devicePixelRatio`; the first call
    /// (the canvas is shown) and every change render the preview for it.
    void setCanvasSize(QSizeF size, double devicePixelRatio = 1);
    [[nodiscard]] QSizeF canvasSize() const { return m_canvasSize; }
    /// The photo in the canvas as it is now.
    [[nodiscard]] CanvasMapping mapping() const;

    // --- pointer (canvas points; mapped to image pixels for the active tool) ---
    void press(QPointF canvasPoint, int clicks = 1);
    void move(QPointF canvasPoint);
    void release(QPointF canvasPoint);

    // --- commands ---
    /// A change of `drawingMode`: the active tool is left (it commits), the new one entered. An
    /// unapplied result of the active tool asks first ("Hintergrund noch nicht angewendet").
    void setMode(DrawingMode mode);
    /// Ctrl+Z: drops the shape being drawn or edited, else undoes the newest committed edit.
    void undo();
    /// Ctrl+Shift+Z / Ctrl+Y.
    void redo();
    [[nodiscard]] bool undoEnabled() const;
    [[nodiscard]] bool redoEnabled() const;
    /// The delete key.
    void deleteKey();
    /// Escape: true when the active tool used it (ends typing); otherwise the sheet closes.
    bool escapeKey();
    /// "Schließen" / Ctrl+Escape: commits, waits for running work, asks about an unapplied result,
    /// bakes text marks, then dismisses.
    void close();
    /// True from close() until the sheet is dismissed or the close is called off.
    [[nodiscard]] bool isClosing() const { return m_closing; }
    /// True while a close waits for work to end (an apply, the bake of the text marks).
    [[nodiscard]] bool isFinishing() const { return m_closing && (m_closeBaking || anyToolBusy()); }
    /// The hint line of the current mode.
    [[nodiscard]] QString hint() const;
    /// What "In Lupe ansehen" shows; none when there is no image.
    [[nodiscard]] std::optional<MagnifierRequest> magnifierRequest() const;

    // --- edits ---
    /// Commits `after` as the photo's new edit value: records it for undo (merging with the
    /// newest record of the same non-empty `mergeTag`) and writes it through the processor. False
    /// when the photo is gone or nothing changed.
    bool commit(const EditState& after, const QString& mergeTag = {});
    /// The photo's edit value (neutral when the photo is gone).
    [[nodiscard]] EditState edits() const;
    /// The photo got a new original outside commit() (a bake, a crop, a background): the history
    /// refers to the old one and is dropped.
    void originalReplaced();

    // --- what the canvas shows ---
    /// The image the canvas shows: the editor preview, else the photo's preview, else null.
    [[nodiscard]] QImage canvasImage() const;
    [[nodiscard]] const std::optional<QImage>& editorPreview() const { return m_editorPreview; }
    /// Shows `image` instead of the render of the photo's edits (the background result) until
    /// the next render of the photo's edits; null renders the photo's edits again.
    void showInstead(const QImage& image);
    [[nodiscard]] PendingAnnotations pendingAnnotations() const;
    /// The preview renderer (tests and benchmarks wait for it).
    [[nodiscard]] EditorPreviewRenderer& previewRenderer() { return m_preview; }

    // --- called by tools ---
    void toolChanged() { Q_EMIT changed(); }
    /// A tool's background work is over: a close that waited for it goes on.
    void toolFinished();

Q_SIGNALS:
    /// Something the sheet shows changed (state, hint, enable rules, feedback).
    void changed();
    /// A new editor preview is shown.
    void previewChanged();
    /// The sheet is to be dismissed.
    void dismissRequested();

private:
    void photosChanged(const PhotoChanges& changes);
    void renderPreview();
    void writeEdits(const EditState& edits);
    void enterMode(DrawingMode mode);
    bool guardUnappliedResult(std::optional<DrawingMode> planned);
    void continueClose();
    void proceed(std::optional<DrawingMode> switchTo, bool close);
    [[nodiscard]] bool anyToolBusy() const;
    [[nodiscard]] std::optional<EditRecord> fallbackUndo() const;

    ImageProcessor& m_processor;
    QUuid m_photoId;
    Dialogs& m_dialogs;
    std::vector<std::unique_ptr<EditorTool>> m_tools;
    DrawingMode m_drawingMode = DrawingMode::rectangle;
    QSizeF m_canvasSize;
    double m_devicePixelRatio = 1;
    bool m_shown = false;
    bool m_pressed = false;

    EditorPreviewRenderer m_preview;
    std::optional<QImage> m_editorPreview;
    /// What the shown preview was rendered from (none while it shows something else).
    std::optional<EditorPreviewJob> m_previewShows;
    /// What the newest render request was made from.
    std::optional<EditorPreviewJob> m_previewAsked;
    bool m_showingInstead = false;

    EditHistory m_history;
    SourceImage m_historyOriginal;

    std::optional<DrawingMode> m_geplanterModusWechsel;
    bool m_wartenAufSchliessen = false; ///< a close waits for the answer to an unapplied result
    bool m_closing = false;
    bool m_closeBaking = false;
    bool m_asking = false;
    /// What follows an apply chosen in the question once it is over.
    struct AfterApply {
        std::optional<DrawingMode> switchTo;
        bool close = false;
    };
    std::optional<AfterApply> m_afterApply;

    QList<QUuid> m_selectedPhotoIDs;
    FolderBookmarkStore* m_folders = nullptr;
};

} // namespace lumora
