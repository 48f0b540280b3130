#pragma once

#include <QAbstractButton>
#include <QColor>
#include <functional>

namespace lumora {

class Dialogs;

/// A compact colour well bound to a colour string: it shows the string's colour (or
/// `fallback` when the string does not parse) and on a click asks `dialogs` for a new colour,
/// which it writes back through `write` as a colour string.
class ColorButton : public QAbstractButton {
    Q_OBJECT
public:
    struct Binding {
        std::function<QString()> read;
        std::function<void(const QString&)> write;
    };
    ColorButton(Dialogs& dialogs, Binding binding, QColor fallback, bool withAlpha, QWidget* parent = nullptr);

    /// The colour shown now.
    [[nodiscard]] QColor shownColor() const;
    [[nodiscard]] QSize sizeHint() const override { return {34, 22}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void choose();

    Dialogs& m_dialogs;
    Binding m_binding;
    QColor m_fallback;
    bool m_withAlpha;
};

} // namespace lumora
