// The segmentation behind FreistellenEngine: ISNet (salient objects) run by ONNX Runtime when it
// is installed, as its 8-bit network when that is there, else by OpenCV's DNN module (about
// three times slower, the same masks).
// OpenCV stays inside this file; the header speaks QImage and Error.

#include "cutout/CompiledModel.h"
#include "cutout/OnnxRuntime.h"
#include "cutout/SegmentationModel.h"

#include "base/UiThread.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>

#include <malloc.h>

#include <future>
#include <memory>
#include <mutex>

namespace lumora {

namespace {

// The loaded network, shared by all engines: loading takes a quarter of a second and 180 MB.
// One of `onnx` and `net` is set. cv::dnn::Net::forward is not re-entrant, so the mutex also
// serialises inference.
struct LoadedNet {
    std::mutex mutex;
    std::unique_ptr<OnnxSession> onnx;
    cv::dnn::Net net;
    QString path; // the file loaded: the float model or its 8-bit network
    bool quantised = false;
    QString runtime; // the ONNX Runtime library it was loaded with, empty for OpenCV
    QDateTime modified;
    qint64 size = -1;
    QString refused; // an 8-bit network that did not load (path, time, size), not tried again

    [[nodiscard]] bool empty() const { return !onnx && net.empty(); }
};

LoadedNet& loadedNet()
{
    static LoadedNet cache;
    return cache;
}

QString exceptionText(const cv::Exception& e)
{
    return QString::fromStdString(e.err.empty() ? e.msg : e.err).trimmed();
}

QString packagedRuntimeFolder()
{
    return QStringLiteral(LUMORA_PACKAGED_RUNTIME_DIR);
}

// The model in ONNX Runtime, writing its optimised form to `saveTo` when given; fails with the
// runtime's message.
std::expected<std::unique_ptr<OnnxSession>, QString> onnxSession(const QString& runtime, const QByteArray& model,
                                                                 const QString& saveTo)
{
    if (runtime.isEmpty())
        return std::unexpected(QStringLiteral("keine Laufzeit"));
    auto session = OnnxSession::open(runtime, model, saveTo);
    if (!session && !saveTo.isEmpty()) { // a cache that cannot be written is no reason to go slow
        QFile::remove(saveTo);
        session = OnnxSession::open(runtime, model);
    }
    return session;
}

// Where the model's compiled form is kept for `runtime`; empty when it cannot be: no runtime,
// no checksum to name it by, or no cache folder.
QString compiledPathFor(const QString& runtime, const QByteArray& modelSha256)
{
    if (runtime.isEmpty() || modelSha256.isEmpty())
        return {};
    const auto version = OnnxSession::runtimeVersion(runtime);
    if (!version)
        return {};
    const QString path = compiledModelPath(modelSha256, *version);
    return QDir().mkpath(QFileInfo(path).path()) ? path : QString();
}

// Loads the compiled form when a sound one is kept; a damaged one is removed.
bool loadCompiled(LoadedNet& cache, const QString& runtime, const QString& compiled)
{
    QByteArray expected;
    QFile file(compiled);
    const QByteArray bytes = mapCompiledModel(file, &expected);
    if (bytes.isEmpty())
        return false;
    auto checksum = std::async(std::launch::async, [&bytes] { return sha256Hex(bytes); });
    auto session = OnnxSession::open(runtime, bytes, {}, OnnxSession::Graph::optimised);
    if (checksum.get() != expected || !session) {
        dropCompiledModel(compiled);
        return false;
    }
    cache.onnx = std::move(*session);
    return true;
}

// Loads the model: its compiled form when one is kept, else the model itself, parsed from
// memory while its checksum is computed on a second thread (a model damaged inside its weights
// still parses, and would only give wrong masks). ONNX Runtime then keeps the compiled form.
// OpenCV takes over from a runtime that fails unless `runtimeOnly` (it cannot run 8-bit networks).
std::expected<void, Error> loadNet(LoadedNet& cache, const QString& path, const QString& runtime, bool runtimeOnly)
{
    const auto unusable = [&](const QString& reason) {
        return std::unexpected(
            segmentationError(segmentationErrors::modelUnusable, path + QStringLiteral(": ") + reason));
    };
    const QByteArray expected = expectedChecksum(path);
    const QString compiled = compiledPathFor(runtime, expected);
    if (!compiled.isEmpty() && loadCompiled(cache, runtime, compiled))
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return unusable(file.errorString());
    const QByteArray bytes = file.readAll();
    std::future<QByteArray> checksum;
    if (!expected.isEmpty())
        checksum = std::async(std::launch::async, [&bytes] { return sha256Hex(bytes); });
    const QString written =
        compiled.isEmpty() ? QString() : compiled + QStringLiteral(".new-%1").arg(QCoreApplication::applicationPid());
    try {
        auto session = onnxSession(runtime, bytes, written);
        if (session) {
            cache.onnx = std::move(*session);
        } else if (runtimeOnly) {
            return unusable(session.error());
        } else {
            if (!runtime.isEmpty())
                qWarning("FreistellenEngine: ONNX-Runtime nicht nutzbar (%s), weiter mit OpenCV",
                         qUtf8Printable(session.error()));
            cache.net = cv::dnn::readNetFromONNX(bytes.constData(), size_t(bytes.size()));
        }
        if (checksum.valid() && checksum.get() != expected) {
            cache.onnx.reset();
            cache.net = cv::dnn::Net();
            if (!written.isEmpty())
                QFile::remove(written);
            return unusable(QStringLiteral("Prüfsumme stimmt nicht"));
        }
        if (cache.empty())
            return unusable(QStringLiteral("leeres Netz"));
        if (!written.isEmpty() && QFileInfo::exists(written))
            (void)keepCompiledModel(written, compiled);
        return {};
    } catch (const cv::Exception& e) {
        return unusable(exceptionText(e));
    } catch (const std::exception& e) {
        return unusable(QString::fromLocal8Bit(e.what()));
    }
}

QString fileIdentity(const QFileInfo& info)
{
    return info.filePath() + QLatin1Char('|') + info.lastModified().toString(Qt::ISODateWithMs) + QLatin1Char('|')
           + QString::number(info.size());
}

void unload(LoadedNet& cache)
{
    cache.onnx.reset();
    cache.net = cv::dnn::Net();
    cache.path.clear();
    cache.quantised = false;
}

// Loads the model at `path` unless it is already loaded with the same runtime; with
// `preferQuantised` and ONNX Runtime, its 8-bit network when there is one (one that fails is
// logged, remembered and the float model loaded). Caller holds the mutex.
std::expected<LoadedNet*, Error> netFor(LoadedNet& cache, const QString& path, bool preferQuantised = false)
{
    if (!QFileInfo(path).isFile())
        return std::unexpected(segmentationError(segmentationErrors::modelMissing, path));
    const QString runtime = onnxRuntimePath(packagedRuntimeFolder());
    QFileInfo chosen(path);
    bool quantised = false;
    if (preferQuantised && !runtime.isEmpty() && OnnxSession::runtimeVersion(runtime)) {
        const QFileInfo eightBit(quantisedModelPath(path));
        quantised = eightBit.isFile() && fileIdentity(eightBit) != cache.refused;
        if (quantised)
            chosen = eightBit;
    }
    if (!cache.empty() && cache.path == chosen.filePath() && cache.runtime == runtime
        && cache.modified == chosen.lastModified() && cache.size == chosen.size())
        return &cache;
    unload(cache);
    auto loaded = loadNet(cache, chosen.filePath(), runtime, quantised);
    if (!loaded && quantised) {
        qWarning("FreistellenEngine: 8-Bit-Netz nicht nutzbar (%s), weiter mit dem Float-Netz",
                 qUtf8Printable(loaded.error().description));
        cache.refused = fileIdentity(chosen);
        unload(cache);
        return netFor(cache, path);
    }
    if (!loaded)
        return std::unexpected(loaded.error());
    cache.path = chosen.filePath();
    cache.quantised = quantised;
    cache.runtime = runtime;
    cache.modified = chosen.lastModified();
    cache.size = chosen.size();
    return &cache;
}

// The bitmap as premultiplied 4-byte B, G, R, A pixels (little-endian ARGB32); opaque RGB32
// has the same bytes.
QImage asBgra(const QImage& bitmap)
{
    switch (bitmap.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied: return bitmap;
    default: return bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
}

// 1 × 3 × side × side, planes R, G, B, each value (v − 128) / 256: the scaling the model was
// published with. The photo is stretched to the square, whatever its aspect ratio.
cv::Mat inputBlob(const QImage& bitmap, int side)
{
    const QImage bgra = asBgra(bitmap);
    const cv::Mat source(bgra.height(), bgra.width(), CV_8UC4, const_cast<uchar*>(bgra.constBits()),
                         size_t(bgra.bytesPerLine()));
    cv::Mat square;
    // Area averaging when shrinking: bilinear sampling of a 24 MP photo would alias.
    const bool shrinking = bgra.width() >= side && bgra.height() >= side;
    cv::resize(source, square, cv::Size(side, side), 0, 0, shrinking ? cv::INTER_AREA : cv::INTER_LINEAR);

    const int dims[] = {1, 3, side, side};
    cv::Mat blob(4, dims, CV_32F);
    float* red = blob.ptr<float>();
    float* green = red + side * side;
    float* blue = green + side * side;
    for (int y = 0; y < side; ++y) {
        const uchar* row = square.ptr<uchar>(y);
        for (int x = 0; x < side; ++x) {
            const int i = y * side + x;
            blue[i] = (float(row[4 * x + 0]) - 128.0f) / 256.0f;
            green[i] = (float(row[4 * x + 1]) - 128.0f) / 256.0f;
            red[i] = (float(row[4 * x + 2]) - 128.0f) / 256.0f;
        }
    }
    return blob;
}

// The network's side × side probabilities as an 8-bit mask of `size`, stretched bilinearly.
std::expected<QImage, Error> maskFromOutput(const cv::Mat& output, int side, QSize size)
{
    if (output.dims != 4 || output.size[0] != 1 || output.size[1] != 1 || output.size[2] != side
        || output.size[3] != side || output.type() != CV_32F)
        return std::unexpected(
            segmentationError(segmentationErrors::modelUnusable, QStringLiteral("unerwartete Ausgabe des Modells")));
    const cv::Mat probability(side, side, CV_32F, const_cast<float*>(output.ptr<float>()));
    if (!cv::checkRange(probability))
        return std::unexpected(segmentationError(segmentationErrors::failed, QStringLiteral("ungültige Werte")));
    cv::Mat small;
    probability.convertTo(small, CV_8U, 255.0); // rounds and clamps to 0…255

    QImage mask(size, QImage::Format_Grayscale8);
    if (mask.isNull())
        return std::unexpected(segmentationError(segmentationErrors::failed, QStringLiteral("zu wenig Speicher")));
    cv::Mat target(mask.height(), mask.width(), CV_8UC1, mask.bits(), size_t(mask.bytesPerLine()));
    cv::resize(small, target, target.size(), 0, 0, cv::INTER_LINEAR);
    return mask;
}

} // namespace

void preloadIsnet()
{
    startInBackground([] {
        LoadedNet& cache = loadedNet();
        const std::scoped_lock lock(cache.mutex);
        (void)netFor(cache, segmentationModelPath(), true);
    });
}

void releaseIsnet()
{
    startInBackground([] {
        LoadedNet& cache = loadedNet();
        const std::scoped_lock lock(cache.mutex);
        unload(cache);
        // The runtime frees its weights in many pieces that glibc keeps for later use; the
        // memory is meant to go back to the system now.
        malloc_trim(0);
    });
}

QString segmentationRuntime()
{
    LoadedNet& cache = loadedNet();
    const std::scoped_lock lock(cache.mutex);
    if (cache.onnx)
        return QStringLiteral("ONNX Runtime ") + cache.onnx->version()
               + (cache.quantised ? QStringLiteral(", 8-Bit-Netz") : QString());
    return cache.net.empty() ? QString() : QStringLiteral("OpenCV DNN");
}

namespace {

std::expected<QImage, Error> maskWith(const QImage& bitmap, const QString& modelPath, int inputSize,
                                      bool preferQuantised)
{
    if (bitmap.isNull())
        return std::unexpected(segmentationError(segmentationErrors::failed, QStringLiteral("leeres Bild")));
    if (inputSize < 32 || inputSize > 4096)
        return std::unexpected(
            segmentationError(segmentationErrors::modelUnusable, QStringLiteral("Eingabegröße %1").arg(inputSize)));
    try {
        const cv::Mat blob = inputBlob(bitmap, inputSize);
        cv::Mat output;
        {
            LoadedNet& cache = loadedNet();
            const std::scoped_lock lock(cache.mutex);
            auto net = netFor(cache, modelPath, preferQuantised);
            if (!net)
                return std::unexpected(net.error());
            if ((*net)->onnx) {
                const int dims[] = {1, 1, inputSize, inputSize};
                output.create(4, dims, CV_32F);
                if (auto ran = (*net)->onnx->run(blob.ptr<float>(), output.ptr<float>(), inputSize); !ran)
                    return std::unexpected(segmentationError(segmentationErrors::failed, ran.error()));
            } else {
                (*net)->net.setInput(blob);
                output = (*net)->net.forward().clone();
            }
        }
        return maskFromOutput(output, inputSize, bitmap.size());
    } catch (const cv::Exception& e) {
        return std::unexpected(segmentationError(segmentationErrors::failed, exceptionText(e)));
    } catch (const std::exception& e) {
        return std::unexpected(segmentationError(segmentationErrors::failed, QString::fromLocal8Bit(e.what())));
    }
}

} // namespace

std::expected<QImage, Error> isnetMask(const QImage& bitmap)
{
    return maskWith(bitmap, segmentationModelPath(), kSegmentationInputSize, true);
}

std::expected<QImage, Error> isnetMaskWith(const QImage& bitmap, const QString& modelPath, int inputSize)
{
    return maskWith(bitmap, modelPath, inputSize, false);
}

} // namespace lumora
