#include "cli/Bench.h"

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "fileops/SaveExport.h"
#include "model/ImageProcessor.h"
#include "pipeline/Encoders.h"
#include "pipeline/Overlays.h"
#include "pipeline/Render.h"
#include "pipeline/VipsSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>

namespace lumora {

EditState typicalEdits(QSize size)
{
    const double w = size.width(), h = size.height();
    EditState e;
    e.adjustment = AdjustmentState{0.3, 0.05, 1.1, 1.15, 0.4};
    e.rotation = 90;
    e.masks = {MaskRect{QRectF(0.05 * w, 0.05 * h, 0.2 * w, 0.1 * h), QStringLiteral("#000000")},
               MaskRect{QRectF(0.6 * w, 0.7 * h, 0.25 * w, 0.15 * h), QStringLiteral("#FFFFFFCC")}};
    for (int s = 0; s < 3; ++s) {
        QList<QPointF> points;
        for (int i = 0; i <= 40; ++i) {
            const double t = i / 40.0;
            points.append({w * (0.1 + 0.8 * t), h * (0.3 + 0.15 * s + 0.05 * std::sin(t * 12))});
        }
        e.freehandOverlays.append(*rasterizeStroke(points, QStringLiteral("#FF3B30"), size, 0.004 * w));
    }
    e.freehandOverlays.append(
        *rasterizeArrow(Arrow{QPointF(0.3 * w, 0.4 * h), 0.6, 0.2 * w, 0.005 * w, QStringLiteral("#FF3B30")}, size));
    TextMark first;
    first.position = {0.3 * w, 0.8 * h};
    first.text = QStringLiteral("Kratzer links");
    first.fontSize = 0.03 * h;
    first.colorHex = QStringLiteral("#FFFFFF");
    first.hasBackground = true;
    TextMark second = first;
    second.id = QUuid::createUuid();
    second.position = {0.7 * w, 0.2 * h};
    second.text = QStringLiteral("Originalverpackung");
    second.hasBackground = false;
    e.textMarks = {first, second};
    e.watermark =
        Watermark{QStringLiteral("© Lumora Studio"), WatermarkPosition::tiled, 0.35, 0.06, QStringLiteral("#FFFFFF")};
    return e;
}

double median(QList<double> values)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    const qsizetype n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

namespace {

double elapsedMs(const QElapsedTimer& timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

struct Timing {
    double decode = 0, render = 0, encode = 0;
};

std::optional<Timing> benchOne(const QByteArray& bytes, QString& problem)
{
    Timing t;
    QElapsedTimer timer;
    timer.start();
    auto source = SourceImage::fromEncoded(bytes);
    auto decoded = source ? source->decode() : std::unexpected(source.error());
    t.decode = elapsedMs(timer);
    if (!decoded) {
        problem = decoded.error().description;
        return std::nullopt;
    }
    const QSize size = source->size();
    const EditState edits = typicalEdits(size);
    timer.restart();
    const Image image = renderDecoded(std::move(*decoded), size, edits);
    t.render = elapsedMs(timer);
    timer.restart();
    auto encoded = encodeJPEG(image, 0.95);
    t.encode = elapsedMs(timer);
    if (!encoded) {
        problem = encoded.error().description;
        return std::nullopt;
    }
    return t;
}

void waitUntil(const std::function<bool()>& condition)
{
    while (!condition())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // sleeps until the next event
}

/// The floor an export is measured against: libvips alone decodes each file and encodes it
/// as JPEG at quality 95, streamed (no full-size raster), one file after the other. Median
/// milliseconds per photo, 0 when no file could be transcoded.
double benchFloor(const QStringList& files)
{
    vips::ensureStarted();
    QList<double> times;
    for (int pass = 0; pass < 2; ++pass) { // the first pass warms libvips and the page cache
        times.clear();
        for (const QString& path : files) {
            QElapsedTimer timer;
            timer.start();
            vips::Ref image(vips_image_new_from_file(QFile::encodeName(path).constData(), "access",
                                                     VIPS_ACCESS_SEQUENTIAL, nullptr));
            void* buffer = nullptr;
            size_t length = 0;
            if (!image || vips_jpegsave_buffer(image.get(), &buffer, &length, "Q", 95, "strip", TRUE, nullptr) != 0) {
                vips::takeError();
                continue;
            }
            g_free(buffer);
            times.append(elapsedMs(timer));
        }
    }
    return median(times);
}

/// What the app does with the files: load them (thumbnails, then display renders) and
/// export them all with the typical edits.
struct AppFigures {
    double loadMs = 0;        ///< per photo, until every card has its thumbnail
    double rssPerPhotoMb = 0; ///< resident memory after loading, divided by the photo count
    double encodedPerPhotoMb = 0;
    double exportMs = 0; ///< per photo
    int photos = 0;
};

AppFigures benchApp(const QStringList& files)
{
    AppFigures figures;
    ImageProcessor processor;
    QList<QUrl> urls;
    for (const QString& path : files)
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    QElapsedTimer timer;
    timer.start();
    bool appended = false;
    processor.loadPhotos(urls, [&] { appended = true; });
    waitUntil([&] { return appended; });
    figures.photos = int(processor.photos().size());
    if (figures.photos == 0)
        return figures;
    figures.loadMs = elapsedMs(timer) / figures.photos;
    waitUntil([&] { return !processor.isBusy(); });
    figures.rssPerPhotoMb = residentMegabytes() / figures.photos;
    double encoded = 0;
    for (const PhotoItem& photo : processor.photos())
        encoded += double(photo.originalCI.encodedBytes().size());
    figures.encodedPerPhotoMb = encoded / (1024.0 * 1024.0) / figures.photos;

    QList<PhotoItem> snapshot = processor.photos();
    for (PhotoItem& photo : snapshot) {
        const EditState edits = typicalEdits(photo.originalCI.size());
        photo.edits.adjustment = edits.adjustment;
        photo.edits.rotation = edits.rotation;
        photo.edits.masks = edits.masks;
        photo.edits.freehandOverlays = edits.freehandOverlays;
        photo.edits.textMarks = edits.textMarks;
        photo.edits.watermark = edits.watermark;
    }
    QTemporaryDir folder;
    timer.restart();
    const StreamEnd end = exportJPEG(snapshot, std::make_shared<CancelToken>(), numberWidth(figures.photos),
                                     folder.path(), figures.photos)
                              ->wait();
    figures.exportMs = end.error ? 0 : elapsedMs(timer) / figures.photos;
    return figures;
}

} // namespace

int runBench(const QStringList& args, QTextStream& out, QTextStream& err)
{
    CommandLine command(
        QStringLiteral("bench [--json] DATEIEN..."),
        QStringLiteral("Misst je Foto Dekodieren, Rendern in voller Auflösung mit typischen Bearbeitungen\n"
                       "und JPEG-Kodieren, dann Laden und Export wie in der App; gibt Mediane aus."),
        {QCommandLineOption(QStringLiteral("json"),
                            QStringLiteral("Zusätzlich eine Zusammenfassung als JSON-Zeile ausgeben."))});
    if (const auto outcome = command.parse(args, out, err); outcome != CommandLine::Outcome::run)
        return exitCodeOf(outcome);
    const bool json = command.parser().isSet(QStringLiteral("json"));
    const QStringList files = command.parser().positionalArguments();
    if (files.isEmpty()) {
        err << command.usageLine();
        return 2;
    }

    QList<double> decodes, renders, encodes, ratios;
    bool warmedUp = false;
    for (const QString& path : files) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            err << path << ": " << file.errorString() << "\n";
            continue;
        }
        const QByteArray bytes = file.readAll();
        QString problem;
        if (!warmedUp) { // first use starts libvips, loads fonts and spawns threads
            (void)benchOne(bytes, problem);
            warmedUp = true;
        }
        const auto t = benchOne(bytes, problem);
        if (!t) {
            err << path << ": " << problem << "\n";
            continue;
        }
        const double ratio = (t->decode + t->render + t->encode) / (t->decode + t->encode);
        decodes.append(t->decode);
        renders.append(t->render);
        encodes.append(t->encode);
        ratios.append(ratio);
        out << QFileInfo(path).fileName() << "  decode " << QString::number(t->decode, 'f', 1) << " ms  render "
            << QString::number(t->render, 'f', 1) << " ms  encode " << QString::number(t->encode, 'f', 1)
            << " ms  ratio " << QString::number(ratio, 'f', 3) << "\n";
    }
    const double md = median(decodes), mr = median(renders), me = median(encodes);
    const double ratio = md + me > 0 ? (md + mr + me) / (md + me) : 0;
    out << "median (" << decodes.size() << " photos)  decode " << QString::number(md, 'f', 1) << " ms  render "
        << QString::number(mr, 'f', 1) << " ms  encode " << QString::number(me, 'f', 1) << " ms  ratio "
        << QString::number(ratio, 'f', 3) << "\n";

    const AppFigures app = benchApp(files);
    const double floorMs = benchFloor(files);
    const double exportVsFloor = floorMs > 0 ? app.exportMs / floorMs : 0;
    double meanCodec = 0;
    for (qsizetype i = 0; i < decodes.size(); ++i)
        meanCodec += (decodes[i] + encodes[i]) / double(decodes.size());
    const double exportRatio = meanCodec > 0 ? app.exportMs / meanCodec : 0;
    out << "app (" << app.photos << " photos)  load " << QString::number(app.loadMs, 'f', 1) << " ms/photo  export "
        << QString::number(app.exportMs, 'f', 1) << " ms/photo  export ratio " << QString::number(exportRatio, 'f', 3)
        << "  resident " << QString::number(app.rssPerPhotoMb, 'f', 1) << " MB/photo (encoded "
        << QString::number(app.encodedPerPhotoMb, 'f', 1) << " MB/photo)\n";
    out << "floor (libvips decode + JPEG 95, streamed) " << QString::number(floorMs, 'f', 1)
        << " ms/photo  export/floor " << QString::number(exportVsFloor, 'f', 3) << "\n";
    if (json) {
        const QJsonObject summary{{QStringLiteral("photos"), decodes.size()},
                                  {QStringLiteral("decode_ms"), md},
                                  {QStringLiteral("render_ms"), mr},
                                  {QStringLiteral("encode_ms"), me},
                                  {QStringLiteral("ratio"), ratio},
                                  {QStringLiteral("load_ms"), app.loadMs},
                                  {QStringLiteral("export_ms"), app.exportMs},
                                  {QStringLiteral("export_ratio"), exportRatio},
                                  {QStringLiteral("rss_per_photo_mb"), app.rssPerPhotoMb},
                                  {QStringLiteral("encoded_per_photo_mb"), app.encodedPerPhotoMb},
                                  {QStringLiteral("floor_ms"), floorMs},
                                  {QStringLiteral("export_vs_floor"), exportVsFloor}};
        out << QJsonDocument(summary).toJson(QJsonDocument::Compact) << "\n";
    }
    return decodes.isEmpty() ? 1 : 0;
}

double residentMegabytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.size() > 1 ? fields[1].toDouble() * 4096.0 / (1024.0 * 1024.0) : 0;
}

std::expected<void, Error> NoVolumes::unmountAndEject(const QString&)
{
    return std::unexpected(Error{QStringLiteral("Bench"), 1, QStringLiteral("-")});
}

} // namespace lumora
