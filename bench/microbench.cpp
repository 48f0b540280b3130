#include "app/WatermarkController.h"
#include "base/Parallel.h"
#include "cli/Bench.h"
#include "model/ImageProcessor.h"
#include "pipeline/ColorPass.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"

#include <QGuiApplication>
#include <QImage>
#include <benchmark/benchmark.h>

namespace {

QImage noisyImage(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    quint32 state = 12345;
    for (int y = 0; y < h; ++y) {
        auto* row = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < w; ++x) {
            state = state * 1664525u + 1013904223u;
            row[x] = 0xFF000000u | (state >> 8);
        }
    }
    return image;
}

void colorPass(benchmark::State& state)
{
    const QImage image = noisyImage(6000, 4000);
    const lumora::AdjustmentState adjustment{0.3, 0.05, 1.1, 1.15, state.range(0) ? 0.4 : 0.0};
    const lumora::Dihedral turn{false, false, int(state.range(1))};
    for (auto _ : state)
        benchmark::DoNotOptimize(lumora::colorAndTurn(image, adjustment, 1.69, turn));
}
BENCHMARK(colorPass)->Args({0, 0})->Args({1, 0})->Args({1, 1})->Unit(benchmark::kMillisecond);

void renderTypical(benchmark::State& state)
{
    const QImage image = noisyImage(6000, 4000);
    const lumora::EditState edits = lumora::typicalEdits(image.size());
    for (auto _ : state) {
        QImage base = image.copy(); // the chain paints into its base, as after a fresh decode
        benchmark::DoNotOptimize(lumora::renderDecoded(std::move(base), image.size(), edits));
    }
}
BENCHMARK(renderTypical)->Unit(benchmark::kMillisecond);

/// The typical edits' tiled watermark alone on a 24 MP photo.
void watermarkTiled(benchmark::State& state)
{
    const QImage image = noisyImage(6000, 4000);
    lumora::EditState edits;
    edits.watermark = lumora::typicalEdits(image.size()).watermark;
    for (auto _ : state) {
        QImage base = image.copy();
        benchmark::DoNotOptimize(lumora::renderDecoded(std::move(base), image.size(), edits));
    }
}
BENCHMARK(watermarkTiled)->Unit(benchmark::kMillisecond);

/// A processor holding one 6000 × 4000 JPEG photo, as after loading it.
lumora::PhotoItem loadedPhoto24MP(lumora::ImageProcessor& processor)
{
    const QImage image = noisyImage(6000, 4000);
    lumora::PhotoItem photo;
    photo.originalCI = *lumora::SourceImage::fromEncoded(*lumora::encodeJPEG({image, QRectF(0, 0, 6000, 4000)}, 0.92));
    processor.setPhotos({photo});
    return photo;
}

/// One keystroke in the watermark sheet on a 24 MP photo: the preview re-rendered at the size
/// the sheet shows it (the first call decodes the photo once at that size).
void watermarkKeystroke(benchmark::State& state)
{
    lumora::ImageProcessor processor;
    const lumora::PhotoItem photo = loadedPhoto24MP(processor);
    lumora::WatermarkValues values;
    lumora::WatermarkController controller(processor, values, {});
    (void)controller.preview(700);
    int key = 0;
    for (auto _ : state) {
        values.text = QStringLiteral("Mein Shop ") + QString::number(key++);
        benchmark::DoNotOptimize(controller.preview(700));
    }
}
BENCHMARK(watermarkKeystroke)->Unit(benchmark::kMillisecond);

/// One slider step on one selected 24 MP photo: the adjustment re-rendered at display size.
void sliderStep(benchmark::State& state)
{
    lumora::ImageProcessor processor;
    const lumora::PhotoItem photo = loadedPhoto24MP(processor);
    const QSet<QUuid> ids{photo.id};
    double exposure = 0;
    for (auto _ : state) {
        exposure += 0.01;
        processor.applyAdjustment(lumora::AdjustmentState{exposure, 0, 1, 1, 0.3}, ids);
    }
}
BENCHMARK(sliderStep)->Unit(benchmark::kMillisecond);

/// The colour pass with sharpening and a quarter turn on one core: over a whole 24 MP photo's
/// rows, and over the 268 columns a streamed export's band is made from.
void colorPassSerial(benchmark::State& state)
{
    const int w = int(state.range(0));
    const QImage image = noisyImage(w, 4000);
    const lumora::AdjustmentState adjustment{0.3, 0.05, 1.1, 1.15, 0.4};
    const lumora::SerialBands serial;
    for (auto _ : state)
        benchmark::DoNotOptimize(lumora::colorAndTurn(image, adjustment, 1.69, lumora::Dihedral{false, false, 1}));
    state.counters["ns_per_pixel"] = benchmark::Counter(double(w) * 4000, benchmark::Counter::kIsIterationInvariantRate
                                                                              | benchmark::Counter::kInvert);
}
BENCHMARK(colorPassSerial)->Arg(6000)->Arg(268)->Unit(benchmark::kMillisecond)->UseRealTime();

/// A turned 24 MP photo's JPEG encode at quality 95, band by band as an export hands it over:
/// smooth gradients with a little grain, about as costly to encode as a photo.
void encodeBands(benchmark::State& state)
{
    QImage band(4000, lumora::kJpegStripAlign * 2, QImage::Format_ARGB32_Premultiplied);
    quint32 grain = 99;
    for (int y = 0; y < band.height(); ++y) {
        auto* row = reinterpret_cast<quint32*>(band.scanLine(y));
        for (int x = 0; x < band.width(); ++x) {
            grain = grain * 1664525u + 1013904223u;
            const quint32 n = (grain >> 28) & 7;
            row[x] =
                0xFF000000u | (((x / 16 + n) & 0xFF) << 16) | (((y + x / 32 + n) & 0xFF) << 8) | ((y / 2 + n) & 0xFF);
        }
    }
    const QSize size(4000, band.height() * 24);
    for (auto _ : state) {
        lumora::JpegBandEncoder encoder(size, 0.95, {});
        for (int i = 0; i < 24; ++i)
            benchmark::DoNotOptimize(encoder.add(band));
        benchmark::DoNotOptimize(encoder.finish());
    }
}
BENCHMARK(encodeBands)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv); // text drawing needs it
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
