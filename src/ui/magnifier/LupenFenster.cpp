#include "ui/magnifier/LupenFenster.h"

#include "ui/magnifier/LupenAnsicht.h"
#include "app/magnifier/LupenBildModell.h"
#include "ui/magnifier/MagnifierColors.h"

#include <QCloseEvent>
#include <QVBoxLayout>

namespace lumora {

LupenFenster::LupenFenster(LupenBildModell* modell, const QString& titel, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_modell(modell), m_ansicht(new LupenAnsicht(modell))
{
    m_modell->setParent(this);
    setWindowTitle(fensterTitel(titel));
    setAttribute(Qt::WA_DeleteOnClose, false);
    // A magnifier is an aside: closing the main window ends the application even while
    // magnifiers are open.
    setAttribute(Qt::WA_QuitOnClose, false);

    // Dark regardless of the desktop's scheme: the window's own palette, inherited by its
    // children (tool tips and scroll bars included).
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, lupenFarbe::flaeche());
    palette.setColor(QPalette::WindowText, lupenFarbe::text());
    palette.setColor(QPalette::Base, lupenFarbe::flaeche());
    palette.setColor(QPalette::Text, lupenFarbe::text());
    palette.setColor(QPalette::Button, lupenFarbe::leiste());
    palette.setColor(QPalette::ButtonText, lupenFarbe::text());
    setPalette(palette);
    setAutoFillBackground(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_ansicht);
    setMinimumSize(500, 400);
    resize(1000, 750);
}

QString LupenFenster::fensterTitel(const QString& titel)
{
    return QStringLiteral("Lupe \u2013 ") + titel;
}

void LupenFenster::nachVorn()
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
    if (m_beobachtet)
        Q_EMIT frameGeaendert();
}

void LupenFenster::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_beobachtet)
        Q_EMIT frameGeaendert();
}

void LupenFenster::closeEvent(QCloseEvent* event)
{
    QWidget::closeEvent(event);
    if (event->isAccepted())
        Q_EMIT geschlossen();
}

} // namespace lumora
