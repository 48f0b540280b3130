#pragma once

#include "app/magnifier/MagnifierZoom.h"

#include <QWidget>

class QAction;
class QLabel;

namespace lumora {

class LupenBildModell;
class LupenKnopf;
class LupenTextKnopf;
class SchwenkbareBildAnsicht;

/// Content of a magnifier window: a toolbar (zoom out, percentage, zoom in, "Einpassen",
/// "100 %") above a line and the scroll surface with the image. Starts in fit mode.
///
/// The zoom arithmetic lives in MagnifierZoom; this widget forwards its area size and the commands
/// there and shows the result. It shows the model's image and follows its changes, keeping the
/// zoom and mode. The model must outlive the view.
class LupenAnsicht : public QWidget {
    Q_OBJECT
public:
    explicit LupenAnsicht(LupenBildModell* modell, QWidget* parent = nullptr);

    [[nodiscard]] const MagnifierZoom& zoom() const { return m_zoom; }
    [[nodiscard]] LupenBildModell* modell() const { return m_modell; }

    // The commands, with their shortcuts (Ctrl − / Ctrl + / Ctrl 0 / Ctrl 1), also reached by
    // the toolbar buttons.
    [[nodiscard]] QAction* zoomOutAction() const { return m_zoomOutAction; }
    [[nodiscard]] QAction* zoomInAction() const { return m_zoomInAction; }
    [[nodiscard]] QAction* fitAction() const { return m_fitAction; }
    [[nodiscard]] QAction* actualSizeAction() const { return m_actualSizeAction; }

    [[nodiscard]] LupenKnopf* zoomOutButton() const { return m_zoomOutButton; }
    [[nodiscard]] LupenKnopf* zoomInButton() const { return m_zoomInButton; }
    [[nodiscard]] QLabel* percentLabel() const { return m_percent; }
    [[nodiscard]] LupenTextKnopf* fitButton() const { return m_fitButton; }
    [[nodiscard]] LupenTextKnopf* actualSizeButton() const { return m_actualSizeButton; }
    [[nodiscard]] SchwenkbareBildAnsicht* surface() const { return m_surface; }

private:
    QWidget* buildToolbar();
    QAction* addCommand(const QString& help, QList<QKeySequence> keys, void (MagnifierZoom::*command)());
    /// Pushes the zoom state to the surface (size, raster) and the toolbar (label, highlights).
    void refresh();

    LupenBildModell* m_modell;
    MagnifierZoom m_zoom;
    QAction* m_zoomOutAction = nullptr;
    QAction* m_zoomInAction = nullptr;
    QAction* m_fitAction = nullptr;
    QAction* m_actualSizeAction = nullptr;
    LupenKnopf* m_zoomOutButton = nullptr;
    LupenKnopf* m_zoomInButton = nullptr;
    QLabel* m_percent = nullptr;
    LupenTextKnopf* m_fitButton = nullptr;
    LupenTextKnopf* m_actualSizeButton = nullptr;
    SchwenkbareBildAnsicht* m_surface = nullptr;
};

} // namespace lumora
