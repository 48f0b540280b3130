#pragma once

#include "app/AdjustmentController.h"
#include "app/CommandFlows.h"
#include "app/KeyHandler.h"
#include "app/LoadFlow.h"
#include "app/PhotoDropDelegate.h"
#include "app/PhotoSelection.h"
#include "app/ToolbarRules.h"
#include "app/WatermarkController.h"
#include "model/ImageProcessor.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <memory>

class QAction;
class QLabel;
class QMenu;
class QSlider;

namespace lumora {

class AdjustmentsPanel;
class Dialogs;
class FolderBookmarkStore;
class KeySequenceTracker;
class LupenFensterManager;
class PhotoGridModel;
class PhotoGridView;
class ProgressOverlay;
class ToolbarBand;
class VolumeService;

/// What the composition root owns and hands to the main window. Every service outlives the
/// window: `dialogs` answers every question, `volumes` ejects cards, `magnifiers` opens the
/// magnifier windows, `keySequence` follows the hidden key sequence.
struct AppServices {
    Dialogs& dialogs;
    VolumeService& volumes;
    LupenFensterManager& magnifiers;
    KeySequenceTracker& keySequence;
};

/// The main window: the toolbar band, the grid of photo cards with its bottom bar, the
/// adjustments panel, and the progress overlay. It owns the one ImageProcessor (and, through
/// the command flows, the one cancel token) for its whole life, and wires the controllers
/// (selection, adjustments, loading, drag reordering, keys, command flows) to the widgets.
/// UI thread only.
class ContentView : public QMainWindow {
    Q_OBJECT
public:
    explicit ContentView(AppServices services, LoadPlaces places = LoadPlaces::system(), QWidget* parent = nullptr);
    ~ContentView() override;

    [[nodiscard]] ImageProcessor& processor() { return m_processor; }
    [[nodiscard]] CommandFlows& flows() { return *m_flows; }
    [[nodiscard]] PhotoSelection& selection() { return m_selection; }
    [[nodiscard]] AdjustmentController& adjustments() { return *m_adjustments; }
    [[nodiscard]] LoadFlow& loading() { return *m_loading; }
    [[nodiscard]] DragReorder& dragReorder() { return *m_drag; }

    [[nodiscard]] QAction* action(ToolbarEntry entry) const { return m_actions.value(entry); }
    [[nodiscard]] QAction* infoAction() const { return m_info; }
    [[nodiscard]] ToolbarBand* toolbarBand() const { return m_band; }
    [[nodiscard]] PhotoGridView* grid() const { return m_grid; }
    [[nodiscard]] AdjustmentsPanel* adjustmentsPanel() const { return m_panel; }
    [[nodiscard]] ProgressOverlay* progressOverlay() const { return m_overlay; }
    [[nodiscard]] QString statusText() const;
    /// The selection count text; empty while it is hidden.
    [[nodiscard]] QString selectionCountText() const;
    [[nodiscard]] QSlider* cardSizeSlider() const { return m_cardSize; }
    /// `gridCellSize`, the minimum card width.
    [[nodiscard]] double gridCellSize() const { return m_gridCellSize; }
    /// The content size (`fensterGroesse`) the sheets size themselves by.
    [[nodiscard]] QSize fensterGroesse() const { return m_fensterGroesse; }

    /// "Schutz" opens the watermark sheet through this hook (nothing while it is empty).
    void setWatermarkHook(std::function<void()> hook) { m_watermarkHook = std::move(hook); }
    /// "Bearbeiten" opens the editor for the first selected photo through this hook.
    void setEditorHook(std::function<void(const QUuid&)> hook) { m_editorHook = std::move(hook); }

    /// The info sheet ("Info & Funktionen").
    void showInfo();
    /// The hidden view.
    void showHiddenView();
    /// Opens a magnifier for photo `id` when it has a preview.
    void openMagnifier(const QUuid& id);
    /// The context menu of the selection, as a secondary click on a card shows it (none
    /// while nothing is selected).
    [[nodiscard]] QMenu* makeContextMenu();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void buildActions();
    QWidget* buildBottomBar();
    void wire();
    void trigger(ToolbarEntry entry);
    void updateActions();
    void updateTexts();
    void photosChanged(const PhotoChanges& changes);
    [[nodiscard]] QList<QUuid> allIds() const;

    ImageProcessor m_processor;
    Dialogs& m_dialogs;
    LupenFensterManager& m_magnifiers;
    std::unique_ptr<CommandFlows> m_flows;
    PhotoSelection m_selection;
    std::unique_ptr<AdjustmentController> m_adjustments;
    std::unique_ptr<LoadFlow> m_loading;
    std::unique_ptr<DragReorder> m_drag;
    std::unique_ptr<KeyHandler> m_keys;
    std::unique_ptr<FolderBookmarkStore> m_folders; ///< write access for crop copies
    PhotoGridModel* m_model = nullptr;

    QHash<ToolbarEntry, QAction*> m_actions;
    QAction* m_info = nullptr;
    ToolbarBand* m_band = nullptr;
    PhotoGridView* m_grid = nullptr;
    AdjustmentsPanel* m_panel = nullptr;
    ProgressOverlay* m_overlay = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_count = nullptr;
    QSlider* m_cardSize = nullptr;
    double m_gridCellSize = 190;
    QSize m_fensterGroesse;
    qsizetype m_lastPhotoCount = -1;

    WatermarkValues m_watermarkValues; ///< the watermark sheet's values, kept for the window's life
    std::function<void()> m_watermarkHook;
    std::function<void(const QUuid&)> m_editorHook;
};

} // namespace lumora
