// The real model on real subjects whose true mask is known: photographed subjects cut out with
// alpha (Tux Paint's stamps, installed by scripts/setup.sh), composited onto a plain background.
// Skipped only when the model is not installed.

#include "CutoutTestSupport.h"

#include "base/UiThread.h"
#include "cutout/FreistellenEngine.h"
#include "cutout/OnnxRuntime.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include "support/Requirements.h"
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

const QString kStamps = QStringLiteral("/usr/share/tuxpaint/stamps/");

struct Scene {
    QImage photo; // what the engine sees
    QImage truth; // Format_Grayscale8, 255 where a subject's alpha is at least one half
};

// Puts each subject (path below kStamps, scale, top-left corner) onto a plain background.
Scene scene(QSize size, QColor background, const std::vector<std::tuple<QString, double, QPoint>>& subjects)
{
    Scene s{QImage(size, QImage::Format_ARGB32_Premultiplied), QImage(size, QImage::Format_Grayscale8)};
    s.photo.fill(background);
    s.truth.fill(0u);
    for (const auto& [path, factor, corner] : subjects) {
        const QImage stamp = QImage(kStamps + path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_FALSE(stamp.isNull()) << "missing: " << path.toStdString()
                                     << " (tuxpaint-stamps-default, scripts/setup.sh)";
        const QImage subject = stamp.scaled(stamp.size() * factor, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        QPainter(&s.photo).drawImage(corner, subject);
        for (int y = 0; y < subject.height(); ++y)
            for (int x = 0; x < subject.width(); ++x)
                if (qAlpha(subject.pixel(x, y)) >= 128)
                    s.truth.scanLine(corner.y() + y)[corner.x() + x] = 255;
    }
    return s;
}

/// A bear and an orange, off-centre on a photo that is not square.
Scene twoSubjects()
{
    return scene(QSize(800, 480), QColor(226, 222, 214),
                 {{QStringLiteral("animals/mammals/bears/european-bear.png"), 1.15, QPoint(30, 100)},
                  {QStringLiteral("food/fruit/orange_seville.png"), 0.5, QPoint(560, 160)}});
}

/// One orange, off-centre on a 400 × 300 photo.
QImage orangePhoto()
{
    return scene(QSize(400, 300), QColor(226, 222, 214),
                 {{QStringLiteral("food/fruit/orange_seville.png"), 0.5, QPoint(120, 60)}})
        .photo;
}

double iou(const QImage& mask, const QImage& truth)
{
    qint64 intersection = 0, unionArea = 0;
    for (int y = 0; y < mask.height(); ++y)
        for (int x = 0; x < mask.width(); ++x) {
            const bool m = mask.constScanLine(y)[x] >= 128, w = truth.constScanLine(y)[x] != 0;
            intersection += m && w;
            unionArea += m || w;
        }
    return unionArea ? double(intersection) / double(unionArea) : 0.0;
}

/// Skips the test unless the model is installed (fails it under CI, which installs the model).
struct IsnetMask : ::testing::Test {
    void SetUp() override
    {
        LUMORA_REQUIRE(QFileInfo::exists(segmentationModelPath()), "model not installed ("
                                                                       << segmentationModelPath().toStdString()
                                                                       << "); scripts/fetch-model.sh installs it");
    }
};

} // namespace

TEST_F(IsnetMask, FindsAllRealSubjectsOnAPlainBackground)
{
    // Two subjects on a photo that is not square: the mask must come back aligned.
    const Scene s = twoSubjects();
    const test::LogCapture log;
    const auto mask = FreistellenEngine().segmentNow(s.photo);
    ASSERT_TRUE(mask) << mask.error().description.toStdString();
    EXPECT_TRUE(log.captured().isEmpty());
    ASSERT_EQ(mask->size(), s.photo.size());
    EXPECT_EQ(mask->format(), QImage::Format_Grayscale8);

    EXPECT_GE(iou(*mask, s.truth), 0.9);
    // Each subject on its own, so that a mask of only the bigger one fails too.
    const QRect right(520, 0, 280, 480);
    EXPECT_GE(iou(mask->copy(right), s.truth.copy(right)), 0.9) << "the second subject";

    // Soft values are kept: the edges are not thresholded.
    EXPECT_GT(test::countPixels(*mask, mask->rect(), [](QRgb v) { return qRed(v) > 10 && qRed(v) < 245; }), 100);
}

TEST_F(IsnetMask, ModelDamagedInsideItsWeightsIsRefused)
{
    // Four bytes changed inside the weights still parse; only the checksum notices.
    QByteArray bytes = test::readAll(segmentationModelPath());
    ASSERT_GT(bytes.size(), 1'000'004);
    QByteArray checksum = test::readAll(segmentationModelPath() + QStringLiteral(".sha256"));
    if (checksum.isEmpty())
        checksum = QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + "  modell.onnx\n";
    bytes.replace(1'000'000, 4, "XXXX");

    QTemporaryDir dir;
    const QString copy = dir.filePath(QStringLiteral("modell.onnx"));
    ASSERT_TRUE(test::writeAll(copy, bytes));
    ASSERT_TRUE(test::writeAll(copy + QStringLiteral(".sha256"), checksum));
    const test::ScopedEnv path("LUMORA_MODEL_PATH", copy.toUtf8());
    // A cache of its own, where no compiled form of the sound model is kept.
    const QString runtime = onnxRuntimePath(QString());
    const test::ScopedEnv lib("LUMORA_ONNXRUNTIME", runtime.isEmpty() ? QByteArray("none") : runtime.toUtf8());
    const test::ScopedEnv cache("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
    const test::LogCapture log;
    const auto mask = FreistellenEngine().segmentNow(QImage(64, 64, QImage::Format_ARGB32_Premultiplied));
    ASSERT_FALSE(mask);
    EXPECT_EQ(mask.error().code, segmentationErrors::modelUnusable);
    EXPECT_TRUE(mask.error().description.contains(QStringLiteral("Prüfsumme")))
        << mask.error().description.toStdString();
    EXPECT_EQ(log.captured().size(), 1);
    EXPECT_TRUE(QDir(dir.filePath(QStringLiteral("cache/lumora-studio/models"))).isEmpty())
        << "no compiled form of a damaged model";
}

TEST_F(IsnetMask, OnnxRuntimeAndOpenCvFindTheSameSubjects)
{
    LUMORA_REQUIRE(!onnxRuntimePath(QString()).isEmpty(),
                   "ONNX Runtime not installed; scripts/fetch-onnxruntime.sh installs it");
    const QImage photo = twoSubjects().photo;
    const auto fast = isnetMaskWith(photo, segmentationModelPath(), kSegmentationInputSize);
    ASSERT_TRUE(fast) << fast.error().description.toStdString();
    EXPECT_TRUE(segmentationRuntime().startsWith(QStringLiteral("ONNX Runtime 1.")))
        << segmentationRuntime().toStdString();
    EXPECT_FALSE(segmentationRuntime().contains(QStringLiteral("8-Bit")));
    std::expected<QImage, Error> slow;
    {
        const test::ScopedEnv off("LUMORA_ONNXRUNTIME", "none");
        slow = isnetMask(photo);
        EXPECT_EQ(segmentationRuntime(), QStringLiteral("OpenCV DNN"));
    }
    ASSERT_TRUE(slow);
    // Unloaded when the editor closes; the next mask loads it again.
    releaseIsnet();
    workPool().waitForDone();
    EXPECT_TRUE(segmentationRuntime().isEmpty());
    // The same network in float on both: the masks agree but for the last bits of a few values.
    EXPECT_LE(test::largestDifference(*fast, *slow), 2);
}

TEST_F(IsnetMask, EightBitNetworkFindsTheSameSubjectsAndADamagedOneLeavesItToTheFloatModel)
{
    const QString runtime = onnxRuntimePath(QString());
    const QString eightBit = quantisedModelPath(segmentationModelPath());
    LUMORA_REQUIRE(!runtime.isEmpty() && QFileInfo::exists(eightBit),
                   "ONNX Runtime or the 8-bit network not installed; scripts/setup.sh installs both");
    const Scene s = twoSubjects();
    const auto quantised = isnetMask(s.photo);
    ASSERT_TRUE(quantised) << quantised.error().description.toStdString();
    EXPECT_TRUE(segmentationRuntime().endsWith(QStringLiteral(", 8-Bit-Netz"))) << segmentationRuntime().toStdString();
    const auto full = isnetMaskWith(s.photo, segmentationModelPath(), kSegmentationInputSize);
    ASSERT_TRUE(full);
    // Against the true masks, it loses at most a hundredth of IoU, on both subjects.
    const QRect right(520, 0, 280, 480);
    EXPECT_GE(iou(*quantised, s.truth), iou(*full, s.truth) - 0.01);
    EXPECT_GE(iou(quantised->copy(right), s.truth.copy(right)), iou(full->copy(right), s.truth.copy(right)) - 0.01);

    // Beside a copy of the model, an 8-bit network damaged inside its weights.
    QTemporaryDir dir;
    const QString model = dir.filePath(QStringLiteral("modell.onnx"));
    ASSERT_TRUE(QFile::link(segmentationModelPath(), model));
    ASSERT_TRUE(QFile::copy(segmentationModelPath() + QStringLiteral(".sha256"), model + QStringLiteral(".sha256")));
    QByteArray bytes = test::readAll(eightBit);
    bytes.replace(1'000'000, 4, "XXXX");
    ASSERT_TRUE(test::writeAll(dir.filePath(QStringLiteral("modell-int8.onnx")), bytes));
    ASSERT_TRUE(
        QFile::copy(eightBit + QStringLiteral(".sha256"), dir.filePath(QStringLiteral("modell-int8.onnx.sha256"))));
    const test::ScopedEnv path("LUMORA_MODEL_PATH", model.toUtf8());
    const test::ScopedEnv lib("LUMORA_ONNXRUNTIME", runtime.toUtf8());
    const test::ScopedEnv cache("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
    const test::LogCapture log;
    const auto fallback = isnetMask(s.photo);
    ASSERT_TRUE(fallback) << fallback.error().description.toStdString();
    EXPECT_EQ(*fallback, *full);
    EXPECT_FALSE(segmentationRuntime().contains(QStringLiteral("8-Bit")));
    ASSERT_EQ(log.captured().size(), 1);
    EXPECT_TRUE(log.captured().front().contains(QStringLiteral("8-Bit-Netz nicht nutzbar")))
        << log.captured().front().toStdString();
    // Not tried again for the next mask.
    ASSERT_TRUE(isnetMask(s.photo));
    EXPECT_EQ(log.captured().size(), 1);
}

TEST_F(IsnetMask, RuntimeThatDoesNotLoadLeavesTheWorkToOpenCvAndAnotherInputSizeFailsCleanly)
{
    // A file that is no library, and a library that is no ONNX Runtime.
    QTemporaryDir dir;
    const QString text = dir.filePath(QStringLiteral("libonnxruntime.so.1"));
    ASSERT_TRUE(test::writeAll(text, "kein ELF"));
    const QImage photo = orangePhoto();
    for (const QString& library : {text, QStringLiteral("libz.so.1")}) {
        const test::ScopedEnv broken("LUMORA_ONNXRUNTIME", library.toUtf8());
        const test::LogCapture log;
        const auto mask = isnetMask(photo);
        ASSERT_TRUE(mask) << mask.error().description.toStdString();
        EXPECT_EQ(segmentationRuntime(), QStringLiteral("OpenCV DNN"));
        ASSERT_EQ(log.captured().size(), 1);
        EXPECT_TRUE(log.captured().front().contains(QStringLiteral("ONNX-Runtime nicht nutzbar")))
            << log.captured().front().toStdString();
    }
    // The installed model was made for one input size: any other is refused, never a crash.
    const auto wrongSize = isnetMaskWith(photo, segmentationModelPath(), 512);
    ASSERT_FALSE(wrongSize);
    EXPECT_EQ(wrongSize.error().code, segmentationErrors::failed);
    EXPECT_EQ(isnetMaskWith(photo, segmentationModelPath(), 0).error().code, segmentationErrors::modelUnusable);
}

TEST_F(IsnetMask, CompiledModelIsKeptAndADamagedOneIsMadeAgain)
{
    const QString runtime = onnxRuntimePath(QString());
    LUMORA_REQUIRE(!runtime.isEmpty(), "ONNX Runtime not installed; scripts/fetch-onnxruntime.sh installs it");
    QTemporaryDir dir;
    const QString model = dir.filePath(QStringLiteral("modell.onnx"));
    ASSERT_TRUE(QFile::copy(segmentationModelPath(), model));
    ASSERT_TRUE(QFile::copy(segmentationModelPath() + QStringLiteral(".sha256"), model + QStringLiteral(".sha256")));
    const test::ScopedEnv lib("LUMORA_ONNXRUNTIME", runtime.toUtf8());
    const test::ScopedEnv cache("XDG_CACHE_HOME", dir.filePath(QStringLiteral("cache")).toUtf8());
    const QImage photo = orangePhoto();
    // Loads the model again, as after the file changed.
    int generation = 0;
    const auto maskAfterReload = [&] {
        QFile file(model);
        EXPECT_TRUE(file.open(QIODevice::ReadWrite));
        EXPECT_TRUE(
            file.setFileTime(QDateTime::currentDateTime().addSecs(++generation), QFileDevice::FileModificationTime));
        return isnetMaskWith(photo, model, kSegmentationInputSize);
    };
    const auto compiledFiles = [&] {
        return QDir(dir.filePath(QStringLiteral("cache/lumora-studio/models")))
            .entryInfoList({QStringLiteral("isnet-*.optimised.onnx")}, QDir::Files);
    };

    // Beside it in the cache: the user's own model, which stays, and an older compiled form, which goes.
    const QDir models(dir.filePath(QStringLiteral("cache/lumora-studio/models")));
    ASSERT_TRUE(QDir().mkpath(models.path()));
    const QString own = models.filePath(QStringLiteral("isnet-768-fp32.onnx"));
    const QString older = models.filePath(QStringLiteral("isnet-0123456789abcdef-ort1.20.0-00000000.optimised.onnx"));
    ASSERT_TRUE(test::writeAll(own, "Modell") && test::writeAll(older, "alt"));
    // And what a process that ended while writing one left behind, two days ago.
    const QString leftOver =
        models.filePath(QStringLiteral("isnet-0123456789abcdef-ort1.20.0-00000000.optimised.onnx.new-7"));
    ASSERT_TRUE(test::writeAll(leftOver, "halb"));
    {
        QFile file(leftOver);
        ASSERT_TRUE(file.open(QIODevice::ReadWrite));
        ASSERT_TRUE(file.setFileTime(QDateTime::currentDateTime().addDays(-2), QFileDevice::FileModificationTime));
    }

    const auto first = maskAfterReload();
    ASSERT_TRUE(first) << first.error().description.toStdString();
    ASSERT_EQ(compiledFiles().size(), 1);
    const QFileInfo compiled = compiledFiles().front();
    EXPECT_TRUE(QFileInfo::exists(compiled.filePath() + QStringLiteral(".sha256")));
    EXPECT_TRUE(QFileInfo::exists(own));
    EXPECT_FALSE(QFileInfo::exists(older));
    EXPECT_FALSE(QFileInfo::exists(leftOver));

    // The compiled form is used as it is, and gives the same mask.
    const QDateTime written = compiled.lastModified();
    const auto second = maskAfterReload();
    ASSERT_TRUE(second);
    EXPECT_EQ(*second, *first);
    EXPECT_EQ(QFileInfo(compiled.filePath()).lastModified(), written);

    // Damaged inside: refused by its checksum and made anew from the model.
    QByteArray bytes = test::readAll(compiled.filePath());
    bytes.replace(bytes.size() / 2, 4, "XXXX");
    ASSERT_TRUE(test::writeAll(compiled.filePath(), bytes));
    const auto third = maskAfterReload();
    ASSERT_TRUE(third);
    EXPECT_EQ(*third, *first);
    ASSERT_EQ(compiledFiles().size(), 1);
    EXPECT_EQ(test::readAll(compiled.filePath()).size(), bytes.size());
    EXPECT_NE(test::readAll(compiled.filePath()), bytes);
}
