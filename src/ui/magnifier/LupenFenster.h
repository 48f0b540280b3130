#pragma once

#include <QWidget>

namespace lumora {

class LupenAnsicht;
class LupenBildModell;

/// A free-floating magnifier window: title bar, close and minimize buttons, resizable, in the
/// dark look, never smaller than 500 × 400. It owns its model and hosts a LupenAnsicht for it.
///
/// Moves and resizes are reported through frameGeaendert once beobachten(true) was called (the
/// manager turns this on after placing the window, so its own placement is not taken for a
/// user's move). Closing hides the window and reports geschlossen; who opened it decides when
/// to delete it.
class LupenFenster : public QWidget {
    Q_OBJECT
public:
    /// Takes ownership of `modell`.
    explicit LupenFenster(LupenBildModell* modell, const QString& titel, QWidget* parent = nullptr);

    [[nodiscard]] LupenAnsicht* ansicht() const { return m_ansicht; }
    [[nodiscard]] LupenBildModell* modell() const { return m_modell; }

    void beobachten(bool an) { m_beobachtet = an; }

    /// Shows the window in front of the others, restored if minimised, and asks for focus.
    void nachVorn();

    /// "Lupe – " followed by `titel` (an en dash with a blank on each side).
    [[nodiscard]] static QString fensterTitel(const QString& titel);

Q_SIGNALS:
    void frameGeaendert();
    void geschlossen();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    LupenBildModell* m_modell;
    LupenAnsicht* m_ansicht;
    bool m_beobachtet = false;
};

} // namespace lumora
