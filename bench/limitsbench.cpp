// Edit values at their limits on real photos. Per photo and case, the time (median of three
// runs) and the peak resident memory above what the process held with the decoded photo alone:
//   - the watermark at the limits of the watermark sheet: the longest text (200 characters of a
//     sentence, and "W" × 200, the widest letter) at the largest size (20 %) and at 15 %, and the
//     benchmark's typical watermark for comparison (paintWatermark alone);
//   - the whole render chain with a hundred random strokes, or a hundred random areas, of the
//     most points a commit keeps, across the photo.
//   lumora-limitsbench PHOTO...      (24 MP photos: ~/.cache/lumora-corpus/cam24/*.jpg)

#include "pipeline/Overlays.h"
#include "pipeline/Render.h"
#include "pipeline/SourceImage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace lumora;

namespace {

struct Case {
    const char* name;
    Watermark watermark;
};

QList<Case> cases()
{
    const QString sentence = QStringLiteral("© Lumora Studio · Alle Rechte vorbehalten · Weitergabe nur mit "
                                            "schriftlicher Genehmigung · ")
                                 .repeated(3)
                                 .left(kWatermarkMaxLength);
    const QString widest(kWatermarkMaxLength, QLatin1Char('W'));
    const auto tiled = [](const QString& text, double size) {
        return Watermark{text, WatermarkPosition::tiled, 0.35, size, QStringLiteral("#FFFFFF")};
    };
    return {
        {"typisch (15 Zeichen, 6 %)", tiled(QStringLiteral("© Lumora Studio"), 0.06)},
        {"200 Zeichen, 15 %", tiled(sentence, 0.15)},
        {"200 Zeichen, 20 %", tiled(sentence, 0.2)},
        {"W × 200, 20 %", tiled(widest, 0.2)},
        {"200 Zeichen, 20 %, Mitte", Watermark{sentence, WatermarkPosition::center, 0.35, 0.2, "#FFFFFF"}},
    };
}

/// A hundred random strokes (or areas) of the most points a commit keeps, across a w × h photo.
EditState randomShapes(QSize size, bool areas)
{
    quint32 state = 99;
    const auto next = [&] {
        state = state * 1664525u + 1013904223u;
        return double(state >> 8) / double(1u << 24);
    };
    EditState edits;
    for (int s = 0; s < 100; ++s) {
        QList<QPointF> points;
        for (qsizetype i = 0; i < (areas ? kMaxAreaPoints : kMaxStrokePoints); ++i)
            points.append({next() * size.width(), next() * size.height()});
        edits.freehandOverlays.append(areas ? *rasterizeFilledArea(points, QStringLiteral("#FFFFFF"), size)
                                            : *rasterizeStroke(points, QStringLiteral("#FF3B30"), size, 12));
    }
    return edits;
}

/// The process's peak resident memory since the last reset, in MiB (VmHWM).
double peakResidentMb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return 0;
}

/// Sets the peak back to what is resident now (Linux: "5" to clear_refs).
void resetPeak()
{
    QFile refs(QStringLiteral("/proc/self/clear_refs"));
    if (refs.open(QIODevice::WriteOnly))
        refs.write("5");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    const QStringList photos = app.arguments().mid(1);
    if (photos.isEmpty()) {
        out << "Aufruf: lumora-limitsbench FOTO...\n";
        return 2;
    }
    out << "Fall                          Foto             ms (Median aus 3)  Spitze über dem Bild (MiB)\n";
    const auto line = [&](const char* name, QSize size, QList<double> times, double peak) {
        std::sort(times.begin(), times.end());
        out << QStringLiteral("%1 %2 × %3 %4 %5\n")
                   .arg(QString::fromUtf8(name), -29)
                   .arg(size.width(), 5)
                   .arg(size.height(), -5)
                   .arg(times[times.size() / 2], 17, 'f', 1)
                   .arg(peak, 12, 'f', 1)
            << Qt::flush;
    };
    // Runs `work` three times on a fresh copy of the photo each time.
    const auto measure = [&](const QImage& photo, const std::function<void(QImage)>& work) {
        QList<double> times;
        double peak = 0;
        for (int run = 0; run < 3; ++run) {
            QImage raster = photo.copy();
            resetPeak();
            const double before = peakResidentMb();
            QElapsedTimer timer;
            timer.start();
            work(std::move(raster));
            times.append(double(timer.nsecsElapsed()) / 1e6);
            peak = std::max(peak, peakResidentMb() - before);
        }
        return std::pair{times, peak};
    };
    for (const QString& path : photos) {
        auto source = SourceImage::fromFile(path);
        auto decoded = source ? source->decode() : std::unexpected(source.error());
        if (!decoded) {
            out << path << ": " << decoded.error().description << "\n";
            continue;
        }
        const QImage photo = *decoded;
        const int w = photo.width(), h = photo.height();
        for (const Case& c : cases()) {
            const auto [times, peak] = measure(photo, [&](QImage raster) {
                if (const auto painted = paintWatermark(raster, yUpToDevice(h), c.watermark, w, h); !painted)
                    out << "  " << painted.error().description << "\n";
            });
            line(c.name, photo.size(), times, peak);
        }
        for (const bool areas : {false, true}) {
            const EditState edits = randomShapes(photo.size(), areas);
            const auto [times, peak] =
                measure(photo, [&](QImage raster) { (void)renderDecoded(std::move(raster), photo.size(), edits); });
            line(areas ? "100 Zufallsflächen (Kette)" : "100 Zufallsstriche (Kette)", photo.size(), times, peak);
        }
    }
    return 0;
}
