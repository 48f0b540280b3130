// lumora-cli cutout: arguments, a missing model, and one real run when the model is installed.

#include "cutout/OnnxRuntime.h"
#include "cutout/SegmentationModel.h"
#include "pipeline/SourceImage.h"
#include "support/CliRun.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include "support/Requirements.h"
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

using test::CliRun;

CliRun cutout(const QStringList& args, const QString& model = {})
{
    return test::runCli(QStringList{QStringLiteral("cutout")} + args, model);
}

QString writePhoto(const QTemporaryDir& dir, const QString& name, const QImage& image)
{
    const QString path = dir.filePath(name);
    EXPECT_TRUE(test::writeAll(path, test::encodeWithVips(image, QStringLiteral("png"))));
    return path;
}

} // namespace

TEST(CutoutCli, BadArgumentsExitWithTwoAMissingModelOrPhotoWithOne)
{
    QTemporaryDir dir;
    const QString in = writePhoto(dir, QStringLiteral("in.png"), test::solid(64, 48, Qt::gray));
    const QString out = dir.filePath(QStringLiteral("aus.png"));
    const QString color = QStringLiteral("--color");
    // Colour and background photo exclude each other; --mask needs a path.
    for (const QStringList& args : {QStringList{in},
                                    {in, dir.filePath(QStringLiteral("aus.gif"))},
                                    {in, out, color, "blau"},
                                    {in, out, color, "#FFFFFF", "--background", in},
                                    {in, out, "--mask"}})
        EXPECT_EQ(cutout(args).exitCode, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(cutout({in, out, color, "blau"}).err.contains(color));

    // A missing model or photo is a clear failure.
    const QString missing = dir.filePath(QStringLiteral("kein-modell.onnx"));
    const CliRun withoutModel = cutout({in, out}, missing);
    EXPECT_EQ(withoutModel.exitCode, 1);
    EXPECT_TRUE(withoutModel.err.contains(QStringLiteral("nicht installiert"))) << withoutModel.err.toStdString();

    // The model is missing here too: the message must name the photo, read before the model.
    const CliRun withoutPhoto = cutout({dir.filePath(QStringLiteral("gibtsnicht.jpg")), out}, missing);
    EXPECT_EQ(withoutPhoto.exitCode, 1);
    EXPECT_TRUE(withoutPhoto.err.contains(QStringLiteral("gibtsnicht.jpg"))) << withoutPhoto.err.toStdString();
    EXPECT_FALSE(QFileInfo::exists(out)) << "no run wrote a photo";
}

// The run also checks that ONNX Runtime leaves nothing in the user's home: its official builds
// keep a device identifier and queue usage events for Microsoft under ~/.cache/Microsoft
// unless told not to.
TEST(CutoutCli, WritesTheSubjectOverTheNewBackground)
{
    const QString model = segmentationModelPath();
    LUMORA_REQUIRE(QFileInfo::exists(model),
                   "model not installed (" << model.toStdString() << "; scripts/setup.sh fetches it)");
    const QString runtime = onnxRuntimePath(QString());
    LUMORA_REQUIRE(!runtime.isEmpty(), "ONNX Runtime not installed (scripts/setup.sh fetches it)");
    const QImage bear(QStringLiteral("/usr/share/tuxpaint/stamps/animals/mammals/bears/european-bear.png"));
    ASSERT_FALSE(bear.isNull()) << "tuxpaint-stamps-default missing (scripts/setup.sh)";
    QImage photo(640, 480, QImage::Format_ARGB32_Premultiplied);
    photo.fill(QColor(235, 235, 235));
    QPainter(&photo).drawImage(QPoint(147, 93), bear);

    QTemporaryDir dir;
    const QString in = writePhoto(dir, QStringLiteral("baer.png"), photo);
    const QString out = dir.filePath(QStringLiteral("frei.jpg"));
    const QString home = dir.filePath(QStringLiteral("home"));
    const CliRun run =
        test::runCli({QStringLiteral("cutout"), in, out, QStringLiteral("--color"), QStringLiteral("#1E90FF"),
                      QStringLiteral("--mask"), dir.filePath(QStringLiteral("maske.png"))},
                     model, false,
                     {{QStringLiteral("HOME"), home},
                      {QStringLiteral("XDG_CACHE_HOME"), home + QStringLiteral("/.cache")},
                      {QStringLiteral("LUMORA_ONNXRUNTIME"), runtime},
                      // as a user's environment may say; this process has turned it off
                      {QStringLiteral("ORT_DISABLE_TELEMETRY"), QStringLiteral("0")}});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("640 × 480")));
    EXPECT_TRUE(run.out.contains(QStringLiteral("ONNX Runtime"))) << run.out.toStdString();
    EXPECT_FALSE(QFileInfo::exists(home + QStringLiteral("/.cache/Microsoft")));
    const QColor corner = test::pixel(test::decodedFile(out), 3, 3);
    EXPECT_LE(test::channelDistance(corner, QColor(0x1E, 0x90, 0xFF)), 4) << corner.name().toStdString();
    EXPECT_EQ(QImage(dir.filePath(QStringLiteral("maske.png"))).size(), QSize(640, 480));
}
