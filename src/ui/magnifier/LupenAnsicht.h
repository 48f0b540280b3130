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
/// The zoom arithmetic lives in LupenZoom; this widget forwards its area size and the commands
/// there and shows the result. It shows the model's image and follows its changes, keeping the
/// zoom and mode. The model must outlive the view.
class LupenAnsicht : public QWidget {
    Q_OBJECT
public:
    explicit LupenAnsicht(LupenBildModell* modell, QWidget* parent = nullptr);

    [[nodiscard]] const LupenZoom& zoom() const { return m_zoom; }
    [[nodiscard]] LupenBildModell* modell() const { return m_modell; }

    // The commands, with their shortcuts (Ctrl − / Ctrl + / Ctrl 0 / Ctrl 1), also reached by
    // the toolbar buttons.
    [[nodiscard]] QAction* verkleinernAktion() const { return m_verkleinern; }
    [[nodiscard]] QAction* vergroessernAktion() const { return m_vergroessern; }
    [[nodiscard]] QAction* einpassenAktion() const { return m_einpassen; }
    [[nodiscard]] QAction* originalAktion() const { return m_original; }

    [[nodiscard]] LupenKnopf* verkleinernKnopf() const { return m_verkleinernKnopf; }
    [[nodiscard]] LupenKnopf* vergroessernKnopf() const { return m_vergroessernKnopf; }
    [[nodiscard]] QLabel* prozentLabel() const { return m_prozent; }
    [[nodiscard]] LupenTextKnopf* einpassenKnopf() const { return m_einpassenKnopf; }
    [[nodiscard]] LupenTextKnopf* originalKnopf() const { return m_originalKnopf; }
    [[nodiscard]] SchwenkbareBildAnsicht* bildflaeche() const { return m_flaeche; }

private:
    QWidget* baueLeiste();
    QAction* neueAktion(const QString& hilfe, QList<QKeySequence> kuerzel, void (LupenZoom::*befehl)());
    /// Pushes the zoom state to the surface (size, raster) and the toolbar (label, highlights).
    void aktualisieren();

    LupenBildModell* m_modell;
    LupenZoom m_zoom;
    QAction* m_verkleinern = nullptr;
    QAction* m_vergroessern = nullptr;
    QAction* m_einpassen = nullptr;
    QAction* m_original = nullptr;
    LupenKnopf* m_verkleinernKnopf = nullptr;
    LupenKnopf* m_vergroessernKnopf = nullptr;
    QLabel* m_prozent = nullptr;
    LupenTextKnopf* m_einpassenKnopf = nullptr;
    LupenTextKnopf* m_originalKnopf = nullptr;
    SchwenkbareBildAnsicht* m_flaeche = nullptr;
};

} // namespace lumora
