// The real model on real subjects whose true mask is known: photographed subjects cut out with
// alpha (Tux Paint's stamps, installed by scripts/setup.sh), composited onto a plain background.
// Skipped only when the model is not installed.

#include "CutoutTestSupport.h"

#include "cutout/FreistellenEngine.h"
#include "pipeline/Compositing.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

const QString kStempel = QStringLiteral("/usr/share/tuxpaint/stamps/");

#define MODELL_ODER_UEBERSPRINGEN()                                                                                 \
    do {                                                                                                           \
        if (!QFileInfo::exists(freistellModellPfad()))                                                             \
            GTEST_SKIP() << "Modell nicht installiert (" << freistellModellPfad().toStdString()                   \
                         << "); scripts/fetch-model.sh installiert es";                                           \
    } while (false)

struct Szene {
    QImage foto;     // what the engine sees
    QImage wahrheit; // Format_Grayscale8, 255 where a subject's alpha is at least one half
};

// Puts each subject (path below kStempel, scale, top-left corner) onto a plain background.
Szene szene(QSize groesse, QColor hintergrund, const std::vector<std::tuple<QString, double, QPoint>>& motive)
{
    Szene s{QImage(groesse, QImage::Format_ARGB32_Premultiplied), QImage(groesse, QImage::Format_Grayscale8)};
    s.foto.fill(hintergrund);
    s.wahrheit.fill(0u);
    for (const auto& [pfad, faktor, ecke] : motive) {
        const QImage stempel = QImage(kStempel + pfad).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_FALSE(stempel.isNull()) << "fehlt: " << pfad.toStdString() << " (tuxpaint-stamps-default, scripts/setup.sh)";
        const QImage motiv = stempel.scaled(stempel.size() * faktor, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter(&s.foto).drawImage(ecke, motiv);
        for (int y = 0; y < motiv.height(); ++y)
            for (int x = 0; x < motiv.width(); ++x)
                if (qAlpha(motiv.pixel(x, y)) >= 128)
                    s.wahrheit.scanLine(ecke.y() + y)[ecke.x() + x] = 255;
    }
    return s;
}

double iou(const QImage& maske, const QImage& wahrheit)
{
    qint64 schnitt = 0, vereinigung = 0;
    for (int y = 0; y < maske.height(); ++y)
        for (int x = 0; x < maske.width(); ++x) {
            const bool m = maske.constScanLine(y)[x] >= 128, w = wahrheit.constScanLine(y)[x] != 0;
            schnitt += m && w;
            vereinigung += m || w;
        }
    return vereinigung ? double(schnitt) / double(vereinigung) : 0.0;
}

} // namespace

TEST(IsnetMaske, FindsAllRealSubjectsOnAPlainBackground)
{
    MODELL_ODER_UEBERSPRINGEN();
    // Two subjects, off-centre, on a photo that is not square: the mask must come back aligned.
    const Szene s = szene(QSize(800, 480), QColor(226, 222, 214),
                          {{QStringLiteral("animals/mammals/bears/european-bear.png"), 1.15, QPoint(30, 100)},
                           {QStringLiteral("food/fruit/orange_seville.png"), 0.5, QPoint(560, 160)}});
    const test::LogMitschnitt log;
    const auto maske = FreistellenEngine().maskeErzeugenSync(s.foto);
    ASSERT_TRUE(maske) << maske.error().description.toStdString();
    EXPECT_TRUE(log.gelesen().isEmpty());
    ASSERT_EQ(maske->size(), s.foto.size());
    EXPECT_EQ(maske->format(), QImage::Format_Grayscale8);

    const double beide = iou(*maske, s.wahrheit);
    EXPECT_GE(beide, 0.9);
    // Each subject on its own, so that a mask of only the bigger one fails too.
    const QRect rechts(520, 0, 280, 480);
    const double zweites = iou(maske->copy(rechts), s.wahrheit.copy(rechts));
    EXPECT_GE(zweites, 0.9) << "the second subject";
    RecordProperty("iou", QString::number(beide, 'f', 4).toStdString());
    RecordProperty("iou_second_subject", QString::number(zweites, 'f', 4).toStdString());

    // Soft values are kept: the edges are not thresholded.
    int weich = 0;
    for (int y = 0; y < maske->height(); ++y)
        for (int x = 0; x < maske->width(); ++x)
            weich += maske->constScanLine(y)[x] > 10 && maske->constScanLine(y)[x] < 245;
    EXPECT_GT(weich, 100);

    // Cut out: the subjects stay opaque, the plain background turns transparent.
    const Image foto{s.foto, QRectF(QPointF(0, 0), QSizeF(s.foto.size()))};
    const auto frei = hintergrundErsetzen(foto, *maske);
    ASSERT_TRUE(frei);
    double alphaMotiv = 0, alphaRest = 0;
    qint64 motiv = 0;
    for (int y = 0; y < frei->raster.height(); ++y)
        for (int x = 0; x < frei->raster.width(); ++x) {
            const bool drin = s.wahrheit.constScanLine(y)[x] != 0;
            (drin ? alphaMotiv : alphaRest) += qAlpha(frei->raster.pixel(x, y));
            motiv += drin;
        }
    EXPECT_GT(alphaMotiv / double(motiv), 230);
    EXPECT_LT(alphaRest / double(qint64(frei->raster.width()) * frei->raster.height() - motiv), 10);
}

TEST(IsnetMaske, PlainPhotoHasNoSubject)
{
    MODELL_ODER_UEBERSPRINGEN();
    QImage grau(640, 480, QImage::Format_ARGB32_Premultiplied);
    grau.fill(QColor(128, 128, 128));
    const test::LogMitschnitt log;
    const auto maske = FreistellenEngine().maskeErzeugenSync(grau);
    ASSERT_FALSE(maske);
    EXPECT_EQ(maske.error().code, kFreistellenKeinMotiv);
    EXPECT_TRUE(log.gelesen().isEmpty());
}

TEST(IsnetMaske, ModelDamagedInsideItsWeightsIsRefused)
{
    MODELL_ODER_UEBERSPRINGEN();
    // Four bytes changed inside the weights still parse; only the checksum notices.
    QFile original(freistellModellPfad());
    ASSERT_TRUE(original.open(QIODevice::ReadOnly));
    QByteArray bytes = original.readAll();
    QFile begleit(freistellModellPfad() + QStringLiteral(".sha256"));
    const QByteArray pruefsumme = begleit.open(QIODevice::ReadOnly)
                                      ? begleit.readAll()
                                      : QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + "  modell.onnx\n";
    bytes.replace(1'000'000, 4, "XXXX");

    QTemporaryDir ordner;
    const QString kopie = ordner.filePath(QStringLiteral("modell.onnx"));
    for (const auto& [pfad, inhalt] : {std::pair{kopie, bytes}, std::pair{kopie + QStringLiteral(".sha256"), pruefsumme}}) {
        QFile datei(pfad);
        ASSERT_TRUE(datei.open(QIODevice::WriteOnly));
        ASSERT_EQ(datei.write(inhalt), inhalt.size());
    }
    const test::Umgebung pfad("LUMORA_MODEL_PATH", kopie.toUtf8());
    const test::LogMitschnitt log;
    const auto maske = FreistellenEngine().maskeErzeugenSync(QImage(64, 64, QImage::Format_ARGB32_Premultiplied));
    ASSERT_FALSE(maske);
    EXPECT_EQ(maske.error().code, kFreistellModellUnbrauchbar);
    EXPECT_TRUE(maske.error().description.contains(QStringLiteral("Prüfsumme"))) << maske.error().description.toStdString();
    EXPECT_EQ(log.gelesen().size(), 1);
}
