// The watermark at the limits of the watermark sheet on real photos: per photo and case, the
// time paintWatermark takes (median of three runs) and the peak resident memory above what the
// process held with the decoded photo alone.
//   lumora-watermarkbench PHOTO...      (24 MP photos: ~/.cache/lumora-corpus/cam24/*.jpg)
// The cases: the longest text (200 characters of a sentence, and "W" × 200, the widest letter)
// at the largest size (20 %) and at 15 %, and the benchmark's typical watermark for comparison.

#include "pipeline/Overlays.h"
#include "pipeline/SourceImage.h"

#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QTextStream>
#include <algorithm>
#include <cstdio>

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
        out << "Aufruf: lumora-watermarkbench FOTO...\n";
        return 2;
    }
    out << "Fall                          Foto             ms (Median aus 3)  Spitze über dem Bild (MiB)\n";
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
            QList<double> times;
            double peak = 0;
            for (int run = 0; run < 3; ++run) {
                QImage raster = photo.copy(); // each run paints onto a fresh copy of the photo
                resetPeak();
                const double before = peakResidentMb();
                QElapsedTimer timer;
                timer.start();
                const auto painted = paintWatermark(raster, yUpToDevice(h), c.watermark, w, h);
                times.append(double(timer.nsecsElapsed()) / 1e6);
                peak = std::max(peak, peakResidentMb() - before);
                if (!painted)
                    out << "  " << painted.error().description << "\n";
            }
            std::sort(times.begin(), times.end());
            out << QStringLiteral("%1 %2 × %3 %4 %5\n")
                       .arg(QString::fromUtf8(c.name), -29)
                       .arg(w, 5)
                       .arg(h, -5)
                       .arg(times[1], 17, 'f', 1)
                       .arg(peak, 12, 'f', 1);
        }
    }
    return 0;
}
