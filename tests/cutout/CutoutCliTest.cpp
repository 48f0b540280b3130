// lumora-cli cutout: arguments, a missing model, and one real run when the model is installed.

#include "cutout/SegmentationModel.h"
#include "pipeline/SourceImage.h"
#include "support/Fixtures.h"

#include <QFileInfo>
#include <QPainter>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

struct Lauf {
    int exitCode = -1;
    QString out, err;
};

Lauf cutout(const QStringList& args, const QString& modell = {})
{
    QProcess prozess;
    QProcessEnvironment umgebung = QProcessEnvironment::systemEnvironment();
    if (!modell.isEmpty())
        umgebung.insert(QStringLiteral("LUMORA_MODEL_PATH"), modell);
    prozess.setProcessEnvironment(umgebung);
    prozess.start(QStringLiteral(LUMORA_CLI_PATH), QStringList{QStringLiteral("cutout")} + args);
    prozess.waitForFinished(120000);
    return {prozess.exitCode(), QString::fromUtf8(prozess.readAllStandardOutput()),
            QString::fromUtf8(prozess.readAllStandardError())};
}

QString schreibeFoto(const QTemporaryDir& ordner, const QString& name, const QImage& bild)
{
    const QString pfad = ordner.filePath(name);
    QFile datei(pfad);
    EXPECT_TRUE(datei.open(QIODevice::WriteOnly));
    datei.write(test::encodeWithVips(bild, QStringLiteral("png")));
    return pfad;
}

} // namespace

TEST(CutoutCli, BadArgumentsExitWithTwo)
{
    QTemporaryDir ordner;
    const QString in = schreibeFoto(ordner, QStringLiteral("in.png"), test::solid(8, 8, Qt::gray));
    const QString aus = ordner.filePath(QStringLiteral("aus.png"));
    EXPECT_EQ(cutout({in}).exitCode, 2);
    EXPECT_EQ(cutout({in, ordner.filePath(QStringLiteral("aus.gif"))}).exitCode, 2);
    const Lauf farbe = cutout({in, aus, QStringLiteral("--color"), QStringLiteral("blau")});
    EXPECT_EQ(farbe.exitCode, 2);
    EXPECT_TRUE(farbe.err.contains(QStringLiteral("--color"))) << farbe.err.toStdString();
    EXPECT_EQ(cutout({in, aus, QStringLiteral("--color"), QStringLiteral("#FFFFFF"), QStringLiteral("--background"), in}).exitCode, 2)
        << "colour and background photo exclude each other";
    EXPECT_EQ(cutout({in, aus, QStringLiteral("--mask")}).exitCode, 2);
    EXPECT_FALSE(QFileInfo::exists(aus));
}

TEST(CutoutCli, MissingModelOrPhotoIsAClearFailure)
{
    QTemporaryDir ordner;
    const QString in = schreibeFoto(ordner, QStringLiteral("in.png"), test::solid(64, 48, Qt::gray));
    const QString aus = ordner.filePath(QStringLiteral("aus.png"));
    const QString fehlt = ordner.filePath(QStringLiteral("kein-modell.onnx"));
    const Lauf ohneModell = cutout({in, aus}, fehlt);
    EXPECT_EQ(ohneModell.exitCode, 1);
    EXPECT_TRUE(ohneModell.err.contains(QStringLiteral("nicht installiert"))) << ohneModell.err.toStdString();
    EXPECT_TRUE(ohneModell.err.contains(QStringLiteral("FreistellenEngine: Vision-Fehler – "))) << ohneModell.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(aus));

    const Lauf ohneFoto = cutout({ordner.filePath(QStringLiteral("gibtsnicht.jpg")), aus}, fehlt);
    EXPECT_EQ(ohneFoto.exitCode, 1);
    EXPECT_FALSE(QFileInfo::exists(aus));
}

TEST(CutoutCli, WritesTheSubjectOverTheNewBackground)
{
    if (!QFileInfo::exists(freistellModellPfad()))
        GTEST_SKIP() << "Modell nicht installiert (" << freistellModellPfad().toStdString() << ")";
    const QImage baer(QStringLiteral("/usr/share/tuxpaint/stamps/animals/mammals/bears/european-bear.png"));
    ASSERT_FALSE(baer.isNull()) << "tuxpaint-stamps-default fehlt (scripts/setup.sh)";
    QImage foto(640, 480, QImage::Format_ARGB32_Premultiplied);
    foto.fill(QColor(235, 235, 235));
    QPainter(&foto).drawImage(QPoint(147, 93), baer);

    QTemporaryDir ordner;
    const QString in = schreibeFoto(ordner, QStringLiteral("baer.png"), foto);
    const QString aus = ordner.filePath(QStringLiteral("frei.jpg"));
    const Lauf lauf = cutout({in, aus, QStringLiteral("--color"), QStringLiteral("#1E90FF"), QStringLiteral("--mask"),
                              ordner.filePath(QStringLiteral("maske.png"))});
    ASSERT_EQ(lauf.exitCode, 0) << lauf.err.toStdString();
    EXPECT_TRUE(lauf.out.contains(QStringLiteral("640 × 480")));
    const auto quelle = SourceImage::fromFile(aus);
    ASSERT_TRUE(quelle);
    const auto bild = quelle->decode();
    ASSERT_TRUE(bild);
    const QColor ecke = test::pixel(*bild, 3, 3);
    EXPECT_NEAR(ecke.red(), 0x1E, 4);
    EXPECT_NEAR(ecke.blue(), 0xFF, 4);
    EXPECT_EQ(QImage(ordner.filePath(QStringLiteral("maske.png"))).size(), QSize(640, 480));
}
