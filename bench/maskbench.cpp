// Quality and time of the background mask with another segmentation model (another input size,
// another conversion) against the installed one, on photos as "KI-Szene" sees them (rendered at
// display size without edits):
//
//   lumora-maskbench [--reference-opencv] REFERENCE.onnx SIZE CANDIDATE.onnx SIZE PHOTOS...
//
// With --reference-opencv the reference runs on OpenCV's DNN module and the candidate on the
// runtime the app would use (ONNX Runtime when installed): the same model on both compares them.
// The reference model's masks are the truth: per photo the intersection over union of the two
// masks, each cut at one half (a photo where neither finds a subject counts as 1), and the time
// of each segmentation with its model loaded. Prints one line per photo, then the mean and the
// smallest IoU and the median times; the reference against itself gives 1.
//
// A photo whose true mask lies beside it ("scene.png" and "scene.truth.png", 255 where the
// subject is) also gets each model's IoU against that truth, and the means of both.
#include "cli/Bench.h"
#include "cutout/SegmentationModel.h"
#include "model/DisplayRender.h"
#include "pipeline/Render.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <algorithm>
#include <cstdio>

using namespace lumora;

namespace {

double iou(const QImage& a, const QImage& b)
{
    qint64 both = 0, either = 0;
    for (int y = 0; y < a.height(); ++y) {
        const uchar* ra = a.constScanLine(y);
        const uchar* rb = b.constScanLine(y);
        for (int x = 0; x < a.width(); ++x) {
            both += ra[x] >= 128 && rb[x] >= 128;
            either += ra[x] >= 128 || rb[x] >= 128;
        }
    }
    return either ? double(both) / double(either) : 1.0;
}

struct Masks {
    std::vector<QImage> masks;
    QList<double> ms;
};

// All photos with one model, after one untimed run that loads it.
Masks segmentAll(const std::vector<QImage>& photos, const QString& model, int size)
{
    Masks out;
    if (!photos.empty())
        (void)isnetMaskWith(photos.front(), model, size);
    for (const QImage& photo : photos) {
        QElapsedTimer timer;
        timer.start();
        auto mask = isnetMaskWith(photo, model, size);
        out.ms.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!mask)
            std::fprintf(stderr, "%s\n", qPrintable(mask.error().description));
        out.masks.push_back(mask ? *mask : QImage());
    }
    return out;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) // renders, never shows
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const bool referenceOnOpenCv = !args.isEmpty() && args.front() == QLatin1String("--reference-opencv");
    if (referenceOnOpenCv)
        args.removeFirst();
    if (args.size() < 5) {
        std::fprintf(
            stderr, "usage: lumora-maskbench [--reference-opencv] REFERENCE.onnx SIZE CANDIDATE.onnx SIZE PHOTOS...\n");
        return 2;
    }
    std::vector<QImage> photos;
    std::vector<QImage> truths; // null where a photo has none
    QStringList names;
    for (const QString& path : args.mid(4)) {
        const auto source = SourceImage::fromFile(path);
        const std::expected<Image, Error> base =
            source ? renderImage(*source, EditState{}, displayScale(source->size(), kDisplayRenderSide))
                   : std::unexpected(source.error());
        if (!base || base->isNull()) {
            std::fprintf(stderr, "%s: not readable\n", qPrintable(path));
            continue;
        }
        photos.push_back(base->raster);
        names.append(QFileInfo(path).fileName());
        const QFileInfo info(path);
        QImage truth(info.path() + QLatin1Char('/') + info.completeBaseName() + QStringLiteral(".truth.png"));
        if (!truth.isNull())
            truth = truth.convertToFormat(QImage::Format_Grayscale8).scaled(base->raster.size());
        truths.push_back(truth);
    }
    const QByteArray runtime = qgetenv("LUMORA_ONNXRUNTIME");
    if (referenceOnOpenCv)
        qputenv("LUMORA_ONNXRUNTIME", "none");
    const Masks reference = segmentAll(photos, args[0], args[1].toInt());
    const QString referenceRuntime = segmentationRuntime();
    if (runtime.isNull())
        qunsetenv("LUMORA_ONNXRUNTIME");
    else
        qputenv("LUMORA_ONNXRUNTIME", runtime);
    const Masks candidate = segmentAll(photos, args[2], args[3].toInt());
    std::printf("reference on %s, candidate on %s\n", qPrintable(referenceRuntime), qPrintable(segmentationRuntime()));
    double sum = 0, smallest = 1, referenceTruth = 0, candidateTruth = 0;
    int withTruth = 0;
    for (size_t i = 0; i < photos.size(); ++i) {
        const QImage& r = reference.masks[i];
        const QImage& c = candidate.masks[i];
        const double value = r.isNull() || c.isNull() ? 0 : iou(r, c);
        sum += value;
        smallest = std::min(smallest, value);
        std::printf("%-28s IoU %.4f  reference %6.0f ms  candidate %6.0f ms", qPrintable(names[qsizetype(i)]), value,
                    reference.ms[i], candidate.ms[i]);
        if (const QImage& truth = truths[i]; !truth.isNull()) {
            const double a = r.isNull() ? 0 : iou(r, truth), b = c.isNull() ? 0 : iou(c, truth);
            referenceTruth += a;
            candidateTruth += b;
            ++withTruth;
            std::printf("  truth: reference %.4f candidate %.4f", a, b);
        }
        std::printf("\n");
    }
    if (withTruth > 0)
        std::printf("%d photos with their true masks: mean IoU reference %.4f, candidate %.4f\n", withTruth,
                    referenceTruth / withTruth, candidateTruth / withTruth);
    std::printf("%zu photos: mean IoU %.4f, smallest %.4f; median reference %.0f ms, candidate %.0f ms\n",
                photos.size(), photos.empty() ? 0 : sum / double(photos.size()), smallest, median(reference.ms),
                median(candidate.ms));
    return photos.empty() ? 1 : 0;
}
