// maskeErzeugen around a segmentation: failures, the no-subject rule, delivery on the caller's
// thread, and how a missing or damaged model is reported.

#include "CutoutTestSupport.h"

#include "base/UiThread.h"
#include "cutout/FreistellenEngine.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"

#include <QDir>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <memory>

using namespace lumora;
using test::grayMask;
using test::LogCapture;
using test::ScopedEnv;

const QString kLogPrefix = QStringLiteral("FreistellenEngine: Vision-Fehler – ");

TEST(MaskGeneration, FailuresAndNoSubjectGiveNoMaskAndASubjectsMaskComesAsItIs)
{
    const Error error{QStringLiteral("Test"), 7, QStringLiteral("Gerät nicht bereit")};
    QImage soft = grayMask(20, 10, 30);
    for (int x = 5; x < 15; ++x)
        soft.scanLine(4)[x] = uchar(100 + 10 * (x - 5)); // soft values, some above 0.5
    // What the segmentation gives, and the error code expected (none: the mask itself).
    const std::tuple<const char*, std::expected<QImage, Error>, std::optional<int>> cases[] = {
        {"failure", std::unexpected(error), error.code},
        {"no bitmap", QImage(), segmentationErrors::failed},                  // counts as a failure too
        {"no subject", grayMask(40, 30, 127), segmentationErrors::noSubject}, // the rule: ShowsSubject below
        {"soft", soft, std::nullopt},
    };
    const LogCapture log;
    for (const auto& [name, segmented, code] : cases) {
        SCOPED_TRACE(name);
        const auto result = FreistellenEngine([&](const QImage&) { return segmented; }).segmentNow(grayMask(8, 8, 0));
        ASSERT_EQ(result.has_value(), !code);
        if (!code)
            EXPECT_EQ(*result, soft) << "no threshold, no resize, no clean-up";
        else if (!segmented)
            EXPECT_EQ(result.error(), error);
        else
            EXPECT_EQ(result.error().code, *code);
    }
    // Failures are logged, a photo without a subject is not.
    ASSERT_EQ(log.captured().size(), 2);
    EXPECT_EQ(log.captured().first(), kLogPrefix + QStringLiteral("Gerät nicht bereit"));
    // An empty photo handed to the real model fails before the model is even looked for.
    const auto noPhoto = FreistellenEngine().segmentNow(QImage());
    ASSERT_FALSE(noPhoto);
    EXPECT_EQ(noPhoto.error().code, segmentationErrors::failed);
    EXPECT_EQ(log.captured().filter(kLogPrefix).size(), 3);
}

TEST(ShowsSubject, NeedsAValueAboveHalfOnAtLeastHalfAPercentOfThePixels)
{
    // 1000 pixels: 5 above 0.5 are exactly 0.5 %, 4 are fewer.
    const auto maskWith = [](int count, int value) {
        QImage mask = grayMask(100, 10, 20);
        for (int i = 0; i < count; ++i)
            mask.scanLine(i)[i] = uchar(value);
        return mask;
    };
    EXPECT_TRUE(FreistellenEngine::showsSubject(maskWith(5, 128)));
    EXPECT_FALSE(FreistellenEngine::showsSubject(maskWith(4, 255)));
    EXPECT_FALSE(FreistellenEngine::showsSubject(maskWith(10, 127))) << "127/255 is below 0.5";
    EXPECT_TRUE(FreistellenEngine::showsSubject(grayMask(1, 1, 200)));
    EXPECT_FALSE(FreistellenEngine::showsSubject(QImage()));
    // Any format is read as grey.
    EXPECT_TRUE(FreistellenEngine::showsSubject(test::solid(10, 10, Qt::white)));
}

TEST(MaskGeneration, RunsOffTheCallersThreadAndDeliversOnItWhileTheContextLives)
{
    std::atomic<QThread*> segmentedOn = nullptr;
    const FreistellenEngine engine([&](const QImage& image) -> std::expected<QImage, Error> {
        segmentedOn = QThread::currentThread();
        return grayMask(image.width(), image.height(), 255);
    });
    QObject context;
    std::optional<FreistellenEngine::MaskResult> received;
    QThread* deliveredOn = nullptr;
    engine.maskeErzeugen(grayMask(6, 4, 0), &context, [&](FreistellenEngine::MaskResult result) {
        deliveredOn = QThread::currentThread();
        received = std::move(result);
    });
    auto closing = std::make_unique<QObject>();
    bool deliveredToClosed = false;
    engine.maskeErzeugen(grayMask(2, 2, 0), closing.get(), [&](auto) { deliveredToClosed = true; });
    EXPECT_FALSE(received) << "never synchronously";
    workPool().waitForDone(); // both results are queued now
    closing.reset();
    test::drainPosted();
    ASSERT_TRUE(received);
    ASSERT_TRUE(*received);
    EXPECT_EQ((*received)->size(), QSize(6, 4));
    EXPECT_EQ(deliveredOn, QThread::currentThread());
    EXPECT_NE(segmentedOn.load(), QThread::currentThread());
    EXPECT_FALSE(deliveredToClosed);
}

TEST(SegmentationModel, PathComesFromTheEnvironmentThenTheUsersCacheThenThePackage)
{
    QTemporaryDir dir;
    const QString models = QStringLiteral("/lumora-studio/models/isnet-768-fp32.onnx");
    const QString fetchedCache = dir.filePath(QStringLiteral("geholt"));
    const QString emptyCache = dir.filePath(QStringLiteral("leer"));
    const QString package = dir.filePath(QStringLiteral("paket"));
    const QString packagedModel = package + QStringLiteral("/isnet-768-fp32.onnx");
    ASSERT_TRUE(QDir().mkpath(fetchedCache + QStringLiteral("/lumora-studio/models")));
    ASSERT_TRUE(test::writeAll(fetchedCache + models, "onnx"));
    ASSERT_TRUE(QDir().mkpath(package));
    ASSERT_TRUE(test::writeAll(packagedModel, "onnx"));
    const QString nowhere = dir.filePath(QStringLiteral("kein-paket"));
    // LUMORA_MODEL_PATH before an existing model in the user's cache before the package's model;
    // with neither, the user's cache path (XDG_CACHE_HOME, else the home folder's cache).
    const struct {
        QByteArray modelPath;
        QByteArray cacheHome;
        QString packagedFolder;
        QString expected;
    } cases[] = {
        {"/opt/modelle/eigenes.onnx", fetchedCache.toUtf8(), package, QStringLiteral("/opt/modelle/eigenes.onnx")},
        {"", fetchedCache.toUtf8(), package, fetchedCache + models},
        {"", emptyCache.toUtf8(), package, packagedModel},
        {"", emptyCache.toUtf8(), nowhere, emptyCache + models},
        {"", "", nowhere, QDir::homePath() + QStringLiteral("/.cache") + models},
    };
    for (const auto& c : cases) {
        const ScopedEnv path("LUMORA_MODEL_PATH", c.modelPath);
        const ScopedEnv cache("XDG_CACHE_HOME", c.cacheHome);
        EXPECT_EQ(segmentationModelPath(c.packagedFolder), c.expected)
            << c.modelPath.constData() << " " << c.cacheHome.constData();
    }
}

TEST(SegmentationModel, MissingOrDamagedModelIsReportedAndLoggedButPreloadingIsSilent)
{
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("fehlt.onnx"));
    const LogCapture log;
    {
        const ScopedEnv path("LUMORA_MODEL_PATH", missing.toUtf8());
        preloadIsnet();
        workPool().waitForDone();
        EXPECT_TRUE(log.captured().isEmpty()) << "preloading a missing model is silent";
        const auto result = FreistellenEngine().segmentNow(grayMask(64, 48, 128));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, segmentationErrors::modelMissing);
        EXPECT_TRUE(result.error().description.contains(missing));
        EXPECT_TRUE(result.error().description.contains(QStringLiteral("scripts/setup.sh")));
        EXPECT_TRUE(result.error().description.contains(QStringLiteral("lumora-studio-model")));
    }
    // Not a model at all, and the start of a protobuf stream cut off mid-field.
    const QByteArray contents[] = {QByteArray("kein Modell, nur Text\n"), QByteArray::fromHex("08071207707974")};
    for (const QByteArray& content : contents) {
        const QString broken = dir.filePath(QStringLiteral("kaputt.onnx"));
        ASSERT_TRUE(test::writeAll(broken, content));
        const ScopedEnv path("LUMORA_MODEL_PATH", broken.toUtf8());
        const auto result = FreistellenEngine().segmentNow(grayMask(64, 48, 128));
        ASSERT_FALSE(result);
        EXPECT_EQ(result.error().code, segmentationErrors::modelUnusable) << result.error().description.toStdString();
        EXPECT_TRUE(result.error().description.contains(QStringLiteral("fetch-model.sh")));
    }
    EXPECT_EQ(log.captured().filter(kLogPrefix).size(), 3);
}
