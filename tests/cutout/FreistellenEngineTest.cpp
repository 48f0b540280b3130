// maskeErzeugen around a segmentation: failures, the no-subject rule, delivery on the caller's
// thread, and how a missing or damaged model is reported.

#include "CutoutTestSupport.h"

#include "cutout/FreistellenEngine.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace lumora;
using test::grauMaske;
using test::LogMitschnitt;
using test::Umgebung;

namespace {

Segmentierung liefert(QImage maske)
{
    return [maske](const QImage&) -> std::expected<QImage, Error> { return maske; };
}

const QString kLogAnfang = QStringLiteral("FreistellenEngine: Vision-Fehler – ");

} // namespace

TEST(MaskeErzeugen, SegmentationFailureIsLoggedAndGivesNoMask)
{
    const LogMitschnitt log;
    const Error fehler{QStringLiteral("Test"), 7, QStringLiteral("Gerät nicht bereit")};
    const FreistellenEngine engine([fehler](const QImage&) -> std::expected<QImage, Error> { return std::unexpected(fehler); });
    const auto ergebnis = engine.maskeErzeugenSync(test::grauMaske(8, 8, 0));
    ASSERT_FALSE(ergebnis);
    EXPECT_EQ(ergebnis.error(), fehler);
    EXPECT_EQ(log.gelesen(), QStringList{kLogAnfang + QStringLiteral("Gerät nicht bereit")});

    // A segmentation that yields no bitmap at all counts as a failure too.
    const auto leer = FreistellenEngine(liefert(QImage())).maskeErzeugenSync(grauMaske(8, 8, 0));
    ASSERT_FALSE(leer);
    EXPECT_EQ(leer.error().code, kFreistellenFehlgeschlagen);
    EXPECT_EQ(log.gelesen().size(), 2);
}

TEST(MaskeErzeugen, NothingInTheForegroundGivesNoMaskAndNoLogLine)
{
    const LogMitschnitt log;
    for (const int wert : {0, 60, 127}) {
        const auto ergebnis = FreistellenEngine(liefert(grauMaske(40, 30, wert))).maskeErzeugenSync(grauMaske(4, 3, 0));
        ASSERT_FALSE(ergebnis) << wert;
        EXPECT_EQ(ergebnis.error().code, kFreistellenKeinMotiv);
        EXPECT_EQ(ergebnis.error().description, QStringLiteral("Kein Motiv erkannt. Bitte ein anderes Bild verwenden."));
    }
    EXPECT_TRUE(log.gelesen().isEmpty());
}

TEST(MaskeErzeugen, SoftMaskWithASubjectIsReturnedAsItIs)
{
    QImage maske = grauMaske(20, 10, 30);
    for (int x = 5; x < 15; ++x)
        maske.scanLine(4)[x] = uchar(100 + 10 * (x - 5)); // soft values, some above 0.5
    const auto ergebnis = FreistellenEngine(liefert(maske)).maskeErzeugenSync(grauMaske(40, 20, 0));
    ASSERT_TRUE(ergebnis);
    EXPECT_EQ(*ergebnis, maske) << "no threshold, no resize, no clean-up";
}

TEST(ZeigtMotiv, NeedsAValueAboveHalfOnAtLeastHalfAPercentOfThePixels)
{
    // 1000 pixels: 5 above 0.5 are exactly 0.5 %, 4 are fewer.
    const auto maskeMit = [](int anzahl, int wert) {
        QImage maske = grauMaske(100, 10, 20);
        for (int i = 0; i < anzahl; ++i)
            maske.scanLine(i)[i] = uchar(wert);
        return maske;
    };
    EXPECT_TRUE(FreistellenEngine::zeigtMotiv(maskeMit(5, 128)));
    EXPECT_FALSE(FreistellenEngine::zeigtMotiv(maskeMit(4, 255)));
    EXPECT_FALSE(FreistellenEngine::zeigtMotiv(maskeMit(10, 127))) << "127/255 is below 0.5";
    EXPECT_TRUE(FreistellenEngine::zeigtMotiv(grauMaske(1, 1, 200)));
    EXPECT_FALSE(FreistellenEngine::zeigtMotiv(QImage()));
    // Any format is read as grey.
    QImage farbig(10, 10, QImage::Format_ARGB32_Premultiplied);
    farbig.fill(Qt::white);
    EXPECT_TRUE(FreistellenEngine::zeigtMotiv(farbig));
}

TEST(MaskeErzeugen, RunsOffTheCallersThreadAndDeliversOnIt)
{
    std::atomic<QThread*> segmentiertAuf = nullptr;
    const FreistellenEngine engine([&](const QImage& bild) -> std::expected<QImage, Error> {
        segmentiertAuf = QThread::currentThread();
        return grauMaske(bild.width(), bild.height(), 255);
    });
    QObject kontext;
    std::optional<FreistellenEngine::MaskenErgebnis> erhalten;
    QThread* geliefertAuf = nullptr;
    engine.maskeErzeugen(grauMaske(6, 4, 0), &kontext, [&](FreistellenEngine::MaskenErgebnis ergebnis) {
        geliefertAuf = QThread::currentThread();
        erhalten = std::move(ergebnis);
    });
    EXPECT_FALSE(erhalten) << "never synchronously";
    for (int i = 0; i < 500 && !erhalten; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    ASSERT_TRUE(erhalten);
    ASSERT_TRUE(*erhalten);
    EXPECT_EQ((*erhalten)->size(), QSize(6, 4));
    EXPECT_EQ(geliefertAuf, QThread::currentThread());
    EXPECT_NE(segmentiertAuf.load(), QThread::currentThread());
}

TEST(MaskeErzeugen, NoDeliveryAfterTheContextIsGone)
{
    std::atomic<bool> weiter = false;
    const FreistellenEngine engine([&](const QImage&) -> std::expected<QImage, Error> {
        while (!weiter)
            QThread::msleep(1);
        return grauMaske(2, 2, 255);
    });
    bool geliefert = false;
    auto kontext = std::make_unique<QObject>();
    engine.maskeErzeugen(grauMaske(2, 2, 0), kontext.get(), [&](FreistellenEngine::MaskenErgebnis) { geliefert = true; });
    kontext.reset();
    weiter = true;
    for (int i = 0; i < 50; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(2);
    }
    EXPECT_FALSE(geliefert);
}

TEST(FreistellModell, PathComesFromTheEnvironment)
{
    {
        const Umgebung pfad("LUMORA_MODEL_PATH", "/opt/modelle/eigenes.onnx");
        EXPECT_EQ(freistellModellPfad(), QStringLiteral("/opt/modelle/eigenes.onnx"));
    }
    const Umgebung ohne("LUMORA_MODEL_PATH", "");
    {
        const Umgebung cache("XDG_CACHE_HOME", "/var/cache/nutzer");
        EXPECT_EQ(freistellModellPfad(), QStringLiteral("/var/cache/nutzer/lumora-studio/models/isnet-768-fp32.onnx"));
    }
    const Umgebung keinCache("XDG_CACHE_HOME", "");
    EXPECT_EQ(freistellModellPfad(), QDir::homePath() + QStringLiteral("/.cache/lumora-studio/models/isnet-768-fp32.onnx"));
}

TEST(FreistellModell, MissingOrDamagedModelIsReportedAndLogged)
{
    QTemporaryDir ordner;
    const QString fehlt = ordner.filePath(QStringLiteral("fehlt.onnx"));
    const LogMitschnitt log;
    {
        const Umgebung pfad("LUMORA_MODEL_PATH", fehlt.toUtf8());
        const auto ergebnis = FreistellenEngine().maskeErzeugenSync(grauMaske(64, 48, 128));
        ASSERT_FALSE(ergebnis);
        EXPECT_EQ(ergebnis.error().code, kFreistellModellFehlt);
        EXPECT_TRUE(ergebnis.error().description.contains(fehlt));
        EXPECT_TRUE(ergebnis.error().description.contains(QStringLiteral("scripts/setup.sh")));
    }
    // Not a model at all, and the start of a protobuf stream cut off mid-field.
    const QByteArray inhalte[] = {QByteArray("kein Modell, nur Text\n"), QByteArray::fromHex("08071207707974")};
    for (const QByteArray& inhalt : inhalte) {
        const QString kaputt = ordner.filePath(QStringLiteral("kaputt.onnx"));
        QFile datei(kaputt);
        ASSERT_TRUE(datei.open(QIODevice::WriteOnly | QIODevice::Truncate));
        datei.write(inhalt);
        datei.close();
        const Umgebung pfad("LUMORA_MODEL_PATH", kaputt.toUtf8());
        const auto ergebnis = FreistellenEngine().maskeErzeugenSync(grauMaske(64, 48, 128));
        ASSERT_FALSE(ergebnis);
        EXPECT_EQ(ergebnis.error().code, kFreistellModellUnbrauchbar) << ergebnis.error().description.toStdString();
        EXPECT_TRUE(ergebnis.error().description.contains(QStringLiteral("fetch-model.sh")));
    }
    const QStringList zeilen = log.gelesen().filter(kLogAnfang);
    EXPECT_EQ(zeilen.size(), 3);
}

TEST(FreistellModell, PreloadingIsSilentAndLeavesErrorsToTheMask)
{
    QTemporaryDir ordner;
    const Umgebung pfad("LUMORA_MODEL_PATH", ordner.filePath(QStringLiteral("fehlt.onnx")).toUtf8());
    const LogMitschnitt log;
    isnetVorladen().waitForFinished();
    EXPECT_TRUE(log.gelesen().isEmpty());
    const auto ergebnis = FreistellenEngine().maskeErzeugenSync(grauMaske(16, 16, 0));
    ASSERT_FALSE(ergebnis);
    EXPECT_EQ(ergebnis.error().code, kFreistellModellFehlt);
}

TEST(FreistellModell, EmptyBitmapIsAFailureNotACrash)
{
    const LogMitschnitt log;
    const auto ergebnis = FreistellenEngine().maskeErzeugenSync(QImage());
    ASSERT_FALSE(ergebnis);
    EXPECT_EQ(ergebnis.error().code, kFreistellenFehlgeschlagen);
    EXPECT_EQ(log.gelesen().filter(kLogAnfang).size(), 1);
}
