#pragma once

#include <QAbstractButton>
#include <QWidget>
#include <functional>

namespace lumora {

/// A button of the editor's toolbar: a symbol over a short title, highlighted on hover
/// (`isHover`) and outlined in the accent colour while selected (`isSelected`). Disabled it
/// ignores clicks and is drawn faded. `action` runs on a click.
class EditorIconButton : public QAbstractButton {
    Q_OBJECT
public:
    EditorIconButton(QString systemName, QString title, std::function<void()> action, QWidget* parent = nullptr);

    [[nodiscard]] QString systemName() const { return m_systemName; }
    [[nodiscard]] QString title() const { return text(); }
    [[nodiscard]] bool isSelected() const { return m_selected; }
    void setSelected(bool selected);
    [[nodiscard]] bool isHover() const { return m_hover; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    QString m_systemName;
    std::function<void()> m_action;
    bool m_selected = false;
    bool m_hover = false;
};

/// A thin vertical line between groups of the editor's toolbar.
class VDivider : public QWidget {
    Q_OBJECT
public:
    explicit VDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace lumora
