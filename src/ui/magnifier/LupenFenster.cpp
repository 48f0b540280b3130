#include "ui/magnifier/LupenFenster.h"

#include "app/magnifier/LupenBildModell.h"
#include "ui/Theme.h"
#include "ui/magnifier/LupenAnsicht.h"

#include <QCloseEvent>
#include <QShortcut>
#include <QVBoxLayout>

namespace lumora {

LupenFenster::LupenFenster(LupenBildModell* modell, const QString& title, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                          | Qt::WindowCloseButtonHint),
      m_modell(modell), m_view(new LupenAnsicht(modell))
{
    m_modell->setParent(this);
    setWindowTitle(windowTitleFor(title));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // A magnifier is an aside: closing the main window ends the application even while
    // magnifiers are open.
    setAttribute(Qt::WA_QuitOnClose, false);

    // Dark regardless of the desktop's scheme: the window's own palette, inherited by its
    // children (tool tips and scroll bars included).
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, theme::window);
    palette.setColor(QPalette::WindowText, theme::text);
    palette.setColor(QPalette::Base, theme::window);
    palette.setColor(QPalette::Text, theme::text);
    palette.setColor(QPalette::Button, theme::bar);
    palette.setColor(QPalette::ButtonText, theme::text);
    setPalette(palette);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);
    setMinimumSize(500, 400);
    resize(1000, 750);
    // Closed from the keyboard as from its title bar (Ctrl+W).
    new QShortcut(QKeySequence::Close, this, this, &QWidget::close);
}

QString LupenFenster::windowTitleFor(const QString& title)
{
    return QStringLiteral("Lupe \u2013 ") + title;
}

void LupenFenster::bringToFront()
{
    if (isMinimized())
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
}

void LupenFenster::moveEvent(QMoveEvent* event)
{
    QWidget::moveEvent(event);
    if (m_reportingMoves)
        Q_EMIT frameChanged();
}

void LupenFenster::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_reportingMoves)
        Q_EMIT frameChanged();
}

void LupenFenster::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT closed();
}

} // namespace lumora
