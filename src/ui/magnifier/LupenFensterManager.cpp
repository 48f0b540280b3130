#include "ui/magnifier/LupenFensterManager.h"

#include "app/magnifier/LupenBildModell.h"
#include "ui/magnifier/LupenFenster.h"

#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QWindow>
#include <utility>

namespace lumora {

namespace {

std::vector<Bildschirm> echteBildschirme()
{
    std::vector<Bildschirm> liste;
    QScreen* haupt = QGuiApplication::primaryScreen();
    if (haupt)
        liste.push_back({QRectF(haupt->geometry()), QRectF(haupt->availableGeometry())});
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != haupt)
            liste.push_back({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    }
    return liste;
}

std::vector<QRectF> sichtbareBereiche(const std::vector<Bildschirm>& bildschirme,
                                      const BildschirmAchse& achse)
{
    std::vector<QRectF> bereiche;
    for (const Bildschirm& b : bildschirme)
        bereiche.push_back(achse.gespiegelt(b.sichtbar));
    return bereiche;
}

bool kommtInFrage(const QWidget* w)
{
    return w && w->isVisible() && !w->isMinimized() && !w->windowTitle().isEmpty()
        && (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog);
}

/// Thickness of the window decorations of `fenster` on each side.
QMargins rahmenVon(const QWidget* fenster)
{
    const QRect aussen = fenster->frameGeometry();
    const QRect innen = fenster->geometry();
    return {innen.left() - aussen.left(), innen.top() - aussen.top(),
            aussen.right() - innen.right(), aussen.bottom() - innen.bottom()};
}

QRect gerundet(QRectF r)
{
    return {qRound(r.x()), qRound(r.y()), qRound(r.width()), qRound(r.height())};
}

} // namespace

LupenFensterManager& LupenFensterManager::instanz()
{
    static LupenFensterManager manager;
    return manager;
}

LupenFensterManager::LupenFensterManager(QObject* parent)
    : QObject(parent), m_bildschirmQuelle(echteBildschirme)
{
}

LupenFensterManager::~LupenFensterManager()
{
    // The shared instance dies after the application object; widgets must not be touched then.
    if (!QCoreApplication::instance() || QCoreApplication::closingDown())
        return;
    // Emptied first: each deletion reports back through destroyed and would edit the maps.
    const auto offen = std::exchange(m_fenster, {});
    m_modelle.clear();
    for (const QPointer<LupenFenster>& fenster : offen)
        delete fenster.data();
}

void LupenFensterManager::oeffnen(const QImage& bild, const QString& titel, const QUuid& id,
                                  QSize pixelGroesse)
{
    if (LupenFenster* offen = fenster(id)) {
        if (LupenBildModell* m = modell(id))
            m->setBild(bild, pixelGroesse);
        offen->nachVorn();
        return;
    }
    LupenFenster* neu = neuesFenster(bild, pixelGroesse, titel, id);
    platzieren(neu);
    neu->nachVorn();
    // Only now: the placement itself is not a move by the user.
    neu->beobachten(true);
    m_fenster.insert(id, neu);
    m_modelle.insert(id, neu->modell());
}

LupenFenster* LupenFensterManager::neuesFenster(const QImage& bild, QSize pixelGroesse,
                                                const QString& titel, const QUuid& id)
{
    auto* modell = new LupenBildModell(bild, pixelGroesse);
    modell->setVollbildQuelle([manager = QPointer(this), id]() -> std::optional<QImage> {
        if (!manager || !manager->m_vollbildQuelle)
            return std::nullopt;
        return manager->m_vollbildQuelle(id);
    });
    auto* neu = new LupenFenster(modell, titel);
    connect(neu, &LupenFenster::frameGeaendert, this, [this, neu] {
        frameSpeichern(achseFuer(m_bildschirmQuelle()).gespiegelt(QRectF(neu->frameGeometry())));
    });
    connect(neu, &LupenFenster::geschlossen, this, [this, id] { fensterGeschlossen(id); });
    // Should anyone else delete the window, forget it, unless a newer window took the id.
    connect(neu, &QObject::destroyed, this, [this, id] {
        if (!m_fenster.value(id)) {
            m_fenster.remove(id);
            m_modelle.remove(id);
        }
    });
    return neu;
}

void LupenFensterManager::platzieren(LupenFenster* neu) const
{
    const std::vector<Bildschirm> bildschirme = m_bildschirmQuelle();
    const BildschirmAchse achse = achseFuer(bildschirme);
    QWidget* referenz = referenzfenster();

    QRectF frame;
    const std::optional<QRectF> gemerkt = frameLaden();
    if (gemerkt && lumora::istVollSichtbar(*gemerkt, sichtbareBereiche(bildschirme, achse))) {
        frame = achse.gespiegelt(*gemerkt);
    } else {
        const std::optional<QRectF> referenzFrame =
            referenz ? std::optional(QRectF(referenz->frameGeometry())) : std::nullopt;
        frame = standardFrameQt(QSizeF(kGroesse), referenzFrame, bildschirme);
    }

    // The frame includes the decorations; Qt places the content. Take the decorations from the
    // platform window when it knows them, else assume those of the reference window, so that a
    // stored frame comes back as the same frame rather than growing by a title bar each time.
    neu->winId();
    QMargins rahmen = neu->windowHandle() ? neu->windowHandle()->frameMargins() : QMargins();
    if (rahmen.isNull() && referenz)
        rahmen = rahmenVon(referenz);
    neu->setGeometry(gerundet(frame).marginsRemoved(rahmen));
}

QWidget* LupenFensterManager::referenzfenster() const
{
    if (kommtInFrage(m_hauptfenster))
        return m_hauptfenster;
    if (QWidget* aktiv = QApplication::activeWindow(); kommtInFrage(aktiv))
        return aktiv;
    const QWidgetList fenster = QApplication::topLevelWidgets();
    for (QWidget* w : fenster) {
        if (kommtInFrage(w) && qobject_cast<QMainWindow*>(w))
            return w;
    }
    for (QWidget* w : fenster) {
        if (kommtInFrage(w))
            return w;
    }
    return nullptr;
}

void LupenFensterManager::fensterGeschlossen(const QUuid& id)
{
    LupenFenster* geschlossen = fenster(id);
    m_fenster.remove(id);
    m_modelle.remove(id);
    if (geschlossen) {
        geschlossen->disconnect(this);
        geschlossen->deleteLater();
    }
}

std::optional<QRectF> LupenFensterManager::frameLaden() const
{
    return frameAusWert(QSettings().value(prefsKey()));
}

void LupenFensterManager::frameSpeichern(QRectF frame) const
{
    QSettings().setValue(prefsKey(), frameAlsWert(frame));
}

bool LupenFensterManager::istVollSichtbar(QRectF frame) const
{
    const std::vector<Bildschirm> bildschirme = m_bildschirmQuelle();
    return lumora::istVollSichtbar(frame, sichtbareBereiche(bildschirme, achseFuer(bildschirme)));
}

QRectF LupenFensterManager::standardFrame(QSizeF groesse) const
{
    const std::vector<Bildschirm> bildschirme = m_bildschirmQuelle();
    QWidget* referenz = referenzfenster();
    const std::optional<QRectF> referenzFrame =
        referenz ? std::optional(QRectF(referenz->frameGeometry())) : std::nullopt;
    return achseFuer(bildschirme).gespiegelt(standardFrameQt(groesse, referenzFrame, bildschirme));
}

void LupenFensterManager::setVollbildQuelle(std::function<std::optional<QImage>(QUuid)> quelle)
{
    m_vollbildQuelle = std::move(quelle);
}

void LupenFensterManager::setBildschirmQuelle(std::function<std::vector<Bildschirm>()> quelle)
{
    m_bildschirmQuelle = quelle ? std::move(quelle) : echteBildschirme;
}

LupenFenster* LupenFensterManager::fenster(const QUuid& id) const
{
    return m_fenster.value(id).data();
}

LupenBildModell* LupenFensterManager::modell(const QUuid& id) const
{
    return m_modelle.value(id).data();
}

} // namespace lumora
