// Pictures of a magnifier window for people to look at. Runs only when LUMORA_LUPE_BILDER names
// a folder to write into; LUMORA_LUPE_FOTO may name a photo to show (else a test card is used).

#include "ui/magnifier/LupenAnsicht.h"
#include "ui/magnifier/LupenFenster.h"
#include "ui/magnifier/LupenFensterManager.h"
#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include "pipeline/SourceImage.h"
#include "support/Fixtures.h"

#include <QAction>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

struct Foto {
    QImage vorschau;
    QSize pixelGroesse;
    QImage voll;
    QString titel;
};

Foto ladeFoto()
{
    const QString pfad = qEnvironmentVariable("LUMORA_LUPE_FOTO");
    if (!pfad.isEmpty()) {
        const auto quelle = SourceImage::fromFile(pfad);
        const auto voll = quelle ? quelle->decode() : std::expected<QImage, Error>();
        const auto vorschau = quelle ? quelle->decodeToFit({1600, 1600}) : std::expected<QImage, Error>();
        if (quelle && voll && vorschau)
            return {*vorschau, quelle->size(), *voll, QFileInfo(pfad).fileName()};
    }
    const QImage karte = test::quadrants(3000, 2000);
    return {karte.scaled(600, 400), karte.size(), karte, QStringLiteral("Testkarte")};
}

void speichern(QWidget* fenster, const QString& ordner, const QString& name)
{
    QCoreApplication::processEvents();
    const QString pfad = QDir(ordner).filePath(name);
    ASSERT_TRUE(fenster->grab().save(pfad)) << pfad.toStdString();
}

} // namespace

TEST(LupenBilder, WindowAtFitAndAtActualSize)
{
    const QString ordner = qEnvironmentVariable("LUMORA_LUPE_BILDER");
    if (ordner.isEmpty())
        GTEST_SKIP() << "LUMORA_LUPE_BILDER is not set";
    QDir().mkpath(ordner);

    const Foto foto = ladeFoto();
    LupenFensterManager manager;
    manager.setVollbildQuelle([&](QUuid) { return std::optional(foto.voll); });
    const QUuid id = QUuid::createUuid();
    manager.oeffnen(foto.vorschau, foto.titel, id, foto.pixelGroesse);
    LupenFenster* fenster = manager.fenster(id);
    ASSERT_NE(fenster, nullptr);
    speichern(fenster, ordner, QStringLiteral("lupe-einpassen.png"));

    fenster->ansicht()->originalAktion()->trigger();
    SchwenkbareBildAnsicht* flaeche = fenster->ansicht()->bildflaeche();
    const QSizeF mitte = (QSizeF(flaeche->inhalt()->size()) - flaeche->sicht()) / 2;
    flaeche->setUrsprung({mitte.width(), mitte.height()});
    speichern(fenster, ordner, QStringLiteral("lupe-100.png"));

    fenster->ansicht()->vergroessernAktion()->trigger();
    fenster->ansicht()->vergroessernAktion()->trigger();
    fenster->ansicht()->vergroessernAktion()->trigger();
    speichern(fenster, ordner, QStringLiteral("lupe-195.png"));
}
