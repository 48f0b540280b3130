#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QVariantAnimation;

namespace lumora {

class CommandFlows;

/// Covers the whole window while a save, export or delete runs: black at 0.55 with a card
/// holding a 56-point progress ring (the whole percentage in its centre), the flow's progress
/// text and "Abbrechen", which only asks the running command to stop. Follows
/// CommandFlows::stateChanged; while shown it holds the keyboard focus, so no key reaches the
/// window beneath.
class ProgressOverlay : public QWidget {
    Q_OBJECT
public:
    ProgressOverlay(CommandFlows& flows, QWidget* parent);

    [[nodiscard]] QString text() const;
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }
    /// The number in the ring.
    [[nodiscard]] int percent() const;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void sync();

    CommandFlows& m_flows;
    QWidget* m_card;
    QWidget* m_ring;
    QLabel* m_text;
    QPushButton* m_cancel;
    double m_shownProgress = 0;
    QVariantAnimation* m_animation;
};

} // namespace lumora
