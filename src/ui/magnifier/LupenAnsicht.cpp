#include "ui/magnifier/LupenAnsicht.h"

#include "app/magnifier/LupenBildModell.h"
#include "ui/magnifier/MagnifierColors.h"
#include "ui/magnifier/LupenKnopf.h"
#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include <QAction>
#include <QBoxLayout>
#include <QLabel>

namespace lumora {

namespace {

// The help texts name the keys as they are labelled on this platform (Strg = Ctrl).
const char* const kHilfeVerkleinern = "Verkleinern (Strg −)";
const char* const kHilfeVergroessern = "Vergrößern (Strg +)";
const char* const kHilfeEinpassen = "Bild ans Fenster anpassen (Strg 0)";
const char* const kHilfeOriginal = "Originalgröße (Strg 1)";

void faerbe(QWidget* widget, QColor hintergrund)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, hintergrund);
    palette.setColor(QPalette::WindowText, lupenFarbe::text());
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

/// A separator line: `breite` 0 stretches it across the layout.
QWidget* linie(int breite, int hoehe)
{
    auto* strich = new QWidget;
    strich->setFixedHeight(hoehe);
    if (breite > 0)
        strich->setFixedWidth(breite);
    faerbe(strich, lupenFarbe::trenner());
    return strich;
}

} // namespace

LupenAnsicht::LupenAnsicht(LupenBildModell* modell, QWidget* parent)
    : QWidget(parent), m_modell(modell)
{
    setMinimumSize(500, 400);
    faerbe(this, lupenFarbe::flaeche());

    m_verkleinern = neueAktion(QString::fromUtf8(kHilfeVerkleinern),
                               {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &LupenZoom::verkleinern);
    // Ctrl = too: on layouts where + needs Shift, that is the key the user presses.
    m_vergroessern = neueAktion(QString::fromUtf8(kHilfeVergroessern),
                                {QKeySequence(Qt::CTRL | Qt::Key_Plus),
                                 QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                                &LupenZoom::vergroessern);
    m_einpassen = neueAktion(QString::fromUtf8(kHilfeEinpassen), {QKeySequence(Qt::CTRL | Qt::Key_0)},
                             &LupenZoom::einpassenAktivieren);
    m_original = neueAktion(QString::fromUtf8(kHilfeOriginal), {QKeySequence(Qt::CTRL | Qt::Key_1)},
                            &LupenZoom::originalGroesse);

    m_flaeche = new SchwenkbareBildAnsicht;
    auto* spalte = new QVBoxLayout(this);
    spalte->setContentsMargins(0, 0, 0, 0);
    spalte->setSpacing(0);
    spalte->addWidget(baueLeiste());
    spalte->addWidget(linie(0, 1));
    spalte->addWidget(m_flaeche, 1);

    m_zoom.setBildGroesse(QSizeF(m_modell->pixelGroesse()));
    connect(m_flaeche, &SchwenkbareBildAnsicht::flaecheGeaendert, this, [this](QSizeF flaeche) {
        m_zoom.setFlaeche(flaeche);
        aktualisieren();
    });
    connect(m_modell, &LupenBildModell::bildGeaendert, this, [this] {
        m_zoom.setBildGroesse(QSizeF(m_modell->pixelGroesse()));
        aktualisieren();
    });
    aktualisieren();
}

QAction* LupenAnsicht::neueAktion(const QString& hilfe, QList<QKeySequence> kuerzel,
                                  void (LupenZoom::*befehl)())
{
    auto* aktion = new QAction(hilfe, this);
    aktion->setToolTip(hilfe);
    aktion->setShortcuts(kuerzel);
    aktion->setShortcutContext(Qt::WindowShortcut);
    addAction(aktion);
    connect(aktion, &QAction::triggered, this, [this, befehl] {
        (m_zoom.*befehl)();
        aktualisieren();
    });
    return aktion;
}

QWidget* LupenAnsicht::baueLeiste()
{
    auto* leiste = new QWidget;
    faerbe(leiste, lupenFarbe::leiste());
    auto* reihe = new QHBoxLayout(leiste);
    reihe->setContentsMargins(14, 8, 14, 8);
    reihe->setSpacing(10);

    m_verkleinernKnopf = new LupenKnopf(LupenKnopf::Symbol::Minus);
    m_vergroessernKnopf = new LupenKnopf(LupenKnopf::Symbol::Plus);
    m_prozent = new QLabel;
    m_prozent->setFixedWidth(60);
    m_prozent->setAlignment(Qt::AlignCenter);
    m_einpassenKnopf = new LupenTextKnopf(QStringLiteral("Einpassen"));
    m_originalKnopf = new LupenTextKnopf(QStringLiteral("100 %"));

    const std::pair<QAbstractButton*, QAction*> paare[] = {
        {m_verkleinernKnopf, m_verkleinern},
        {m_vergroessernKnopf, m_vergroessern},
        {m_einpassenKnopf, m_einpassen},
        {m_originalKnopf, m_original},
    };
    for (const auto& [knopf, aktion] : paare) {
        knopf->setToolTip(aktion->toolTip());
        connect(knopf, &QAbstractButton::clicked, aktion, &QAction::trigger);
    }

    reihe->addWidget(m_verkleinernKnopf);
    reihe->addWidget(m_prozent);
    reihe->addWidget(m_vergroessernKnopf);
    reihe->addWidget(linie(1, 18));
    reihe->addWidget(m_einpassenKnopf);
    reihe->addWidget(m_originalKnopf);
    reihe->addStretch(1);
    return leiste;
}

void LupenAnsicht::aktualisieren()
{
    const QSizeF anzeige = m_zoom.anzeigeGroesse();
    const QImage raster = m_modell->rasterFuer(anzeige * devicePixelRatioF());
    m_flaeche->aktualisieren(raster, anzeige.width(), anzeige.height(), LupenZoom::rand);
    m_prozent->setText(m_zoom.prozentText());
    m_einpassenKnopf->setHervorgehoben(m_zoom.einpassenHervorgehoben());
    m_originalKnopf->setHervorgehoben(m_zoom.originalHervorgehoben());
}

} // namespace lumora
