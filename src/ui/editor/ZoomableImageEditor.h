#pragma once

#include "app/editor/EditorController.h"
#include "app/editor/EditorToolbar.h"
#include "ui/editor/EditorToolUi.h"

#include <QDialog>
#include <QHash>
#include <QSet>
#include <QUuid>
#include <memory>
#include <vector>

class QLabel;
class QStackedWidget;

namespace lumora {

class Dialogs;
class EditorCanvas;
class FolderBookmarkStore;
class EditorIconButton;
class ImageProcessor;
class LupenFensterManager;

/// The editor sheet over the main window (window-modal): the header with "Schließen"
/// (Ctrl+Escape), the toolbar of modes in a sideways scrolling strip, the current mode's tool
/// panel with the hint line, and the canvas. A thin view over EditorController; closing in any
/// way (the button, Ctrl+Escape, Escape outside typing, the window's close button) runs the
/// editor's closing steps. While the close waits for work to end, the sheet says so and takes
/// no input. Deletes itself when dismissed, once no dialog of its own is open.
class ZoomableImageEditor : public QDialog {
    Q_OBJECT
public:
    /// `fensterGroesse` is the main window's content size (the sheet's size follows it).
    ZoomableImageEditor(ImageProcessor& processor, const QUuid& photoId, Dialogs& dialogs,
                        LupenFensterManager& magnifiers, QSize fensterGroesse, QWidget* parent = nullptr);
    ~ZoomableImageEditor() override;

    [[nodiscard]] EditorController& editor() { return *m_editor; }
    [[nodiscard]] EditorCanvas* canvas() const { return m_canvas; }
    /// The toolbar button titled `title`, or null.
    [[nodiscard]] EditorIconButton* button(const QString& title) const;
    [[nodiscard]] QString hintText() const;
    /// The panel shown for the current mode (null for a mode without options).
    [[nodiscard]] QWidget* currentPanel() const;

public Q_SLOTS:
    void reject() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QWidget* buildHeader();
    QWidget* buildToolbar();
    QWidget* buildPanelRow();
    void stateChanged();
    void openMagnifier();
    void dismiss();

    std::unique_ptr<EditorController> m_editor;
    EditorToolUis m_toolUis;
    Dialogs& m_dialogs;
    LupenFensterManager& m_magnifiers;
    EditorCanvas* m_canvas = nullptr;
    QList<std::pair<EditorToolbarEntry, EditorIconButton*>> m_buttons;
    QWidget* m_toolbarStrip = nullptr;
    QLabel* m_hint = nullptr;
    QStackedWidget* m_panels = nullptr;
    QHash<int, QWidget*> m_panelOfMode;
    QWidget* m_content = nullptr;
    bool m_dismissed = false;
};

/// Opens the editor sheet over `window` for photo `id`; when the photo is not in the list the
/// sheet says "Kein Bild ausgewählt". Returns at once (the sheet is window-modal).
/// `selectedPhotoIDs` is the main window's selection (the batch crop's photos); `folders` the
/// folder access for crop copies (null: the application's shared store).
void openEditorSheet(QWidget* window, QSize fensterGroesse, ImageProcessor& processor, Dialogs& dialogs,
                     LupenFensterManager& magnifiers, const QUuid& id, const QList<QUuid>& selectedPhotoIDs = {},
                     FolderBookmarkStore* folders = nullptr);

} // namespace lumora
