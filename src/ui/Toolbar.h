#pragma once

#include "app/ToolbarRules.h"

#include <QAbstractButton>
#include <QHash>
#include <QWidget>

class QAction;
class QScrollArea;
class QHBoxLayout;
class QVariantAnimation;

namespace lumora {

/// One entry of the band: a 17-point symbol in a 28 × 28 frame over a 9-point title, 56 wide.
/// It shows its QAction: the action's text, its "symbol" property, enabled and checked
/// (checked is the active look). A disabled entry ignores clicks and is drawn at 0.55 opacity;
/// an action with a menu opens it below the entry.
class ToolbarButton : public QAbstractButton {
    Q_OBJECT
public:
    explicit ToolbarButton(QAction* action, QWidget* parent = nullptr);
    /// 56 × 52, wider where the title needs it ("Wiederherstellen" is never cut).
    [[nodiscard]] QSize sizeHint() const override;
    [[nodiscard]] QAction* action() const { return m_action; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void sync();
    void activate();

    QAction* m_action;
    bool m_hover = false;
};

/// A gradient in the band's colour over one edge, shown while more of the band lies there.
class EdgeFade : public QWidget {
    Q_OBJECT
public:
    EdgeFade(Qt::Edge edge, QWidget* parent);
    /// Fades in or out over 0.15 s (ease-in-out).
    void setShown(bool shown);
    [[nodiscard]] bool isShown() const { return m_shown; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Qt::Edge m_edge;
    bool m_shown = false;
    double m_opacity = 0;
    QVariantAnimation* m_animation;
};

/// The toolbar band, 64 high: the info button, then the entries in groups with 1 × 36
/// dividers, in a horizontal scroll view without scroll bars (the mouse wheel scrolls it
/// sideways), with edge fades 28 wide while it can scroll further.
class ToolbarBand : public QWidget {
    Q_OBJECT
public:
    /// `actions` holds one action per entry; `info` is the info button's action.
    ToolbarBand(const QHash<ToolbarEntry, QAction*>& actions, QAction* info, QWidget* parent = nullptr);

    [[nodiscard]] ToolbarButton* button(ToolbarEntry entry) const { return m_buttons.value(entry); }
    [[nodiscard]] ToolbarUeberlauf overflow() const;
    [[nodiscard]] bool toolbarKannLinks() const { return m_left->isShown(); }
    [[nodiscard]] bool toolbarKannRechts() const { return m_right->isShown(); }
    [[nodiscard]] QScrollArea* scrollArea() const { return m_scroll; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void updateFades();

    QHash<ToolbarEntry, ToolbarButton*> m_buttons;
    QScrollArea* m_scroll;
    EdgeFade* m_left;
    EdgeFade* m_right;
};

} // namespace lumora
