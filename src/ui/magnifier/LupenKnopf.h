#pragma once

#include <QAbstractButton>

namespace lumora {

/// Toolbar icon button of the magnifier, 32 × 26 points: a magnifying glass with a minus or a
/// plus, in the light symbol colour, on the hover colour while the pointer is over it.
class LupenKnopf : public QAbstractButton {
    Q_OBJECT
public:
    enum class Symbol { Minus, Plus };

    explicit LupenKnopf(Symbol symbol, QWidget* parent = nullptr);

    [[nodiscard]] Symbol symbol() const { return m_symbol; }
    [[nodiscard]] QSize sizeHint() const override { return {32, 26}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Symbol m_symbol;
};

/// Toolbar text button of the magnifier. While highlighted it shows its title in the accent
/// colour on a faint accent background.
class LupenTextKnopf : public QAbstractButton {
    Q_OBJECT
public:
    explicit LupenTextKnopf(const QString& title, QWidget* parent = nullptr);

    void setHighlighted(bool on);
    [[nodiscard]] bool highlighted() const { return m_highlighted; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_highlighted = false;
};

} // namespace lumora
