#pragma once

#include <QWidget>

namespace lumora {

class LupenAnsicht;
class LupenBildModell;

/// A free-floating magnifier window: title bar, close and minimize buttons, resizable, in the
/// dark look, never smaller than 500 × 400. It owns its model and hosts a LupenAnsicht for it.
///
/// Moves and resizes are reported through frameChanged once setReportingMoves(true) was called (the
/// manager turns this on after placing the window, so its own placement is not taken for a
/// user's move). Closing hides the window and reports closed; who opened it decides when
/// to delete it.
class LupenFenster : public QWidget {
    Q_OBJECT
public:
    /// Takes ownership of `modell`.
    explicit LupenFenster(LupenBildModell* modell, const QString& title, QWidget* parent = nullptr);

    [[nodiscard]] LupenAnsicht* view() const { return m_view; }
    [[nodiscard]] LupenBildModell* modell() const { return m_modell; }

    void setReportingMoves(bool on) { m_reportingMoves = on; }

    /// Shows the window in front of the others, restored if minimised, and asks for focus.
    void bringToFront();

    /// "Lupe – " followed by `title` (an en dash with a blank on each side).
    [[nodiscard]] static QString windowTitleFor(const QString& title);

Q_SIGNALS:
    void frameChanged();
    void closed();

protected:
    void moveEvent(QMoveEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    LupenBildModell* m_modell;
    LupenAnsicht* m_view;
    bool m_reportingMoves = false;
};

} // namespace lumora
