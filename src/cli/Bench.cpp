#include "cli/Bench.h"

#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "cutout/SegmentationModel.h"
#include "fileops/SaveExport.h"
#include "model/ImageProcessor.h"
#include "pipeline/EditsJson.h"
#include "pipeline/Encoders.h"
#include "pipeline/Overlays.h"
#include "pipeline/Render.h"
#include "pipeline/VipsSupport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <cmath>

namespace lumora {

QByteArray typicalEditsJson(QSize size)
{
    const double w = size.width(), h = size.height();
    const auto pair = [](double x, double y) { return QJsonArray{x, y}; };
    const auto rect = [](double x, double y, double rw, double rh) { return QJsonArray{x, y, rw, rh}; };
    QJsonArray overlays;
    for (int s = 0; s < 3; ++s) {
        QJsonArray points;
        for (int i = 0; i <= 40; ++i) {
            const double t = i / 40.0;
            points.append(pair(w * (0.1 + 0.8 * t), h * (0.3 + 0.15 * s + 0.05 * std::sin(t * 12))));
        }
        overlays.append(QJsonObject{{QStringLiteral("kind"), QStringLiteral("stroke")},
                                    {QStringLiteral("points"), points},
                                    {QStringLiteral("colorHex"), QStringLiteral("#FF3B30")},
                                    {QStringLiteral("lineWidth"), 0.004 * w}});
    }
    overlays.append(QJsonObject{{QStringLiteral("kind"), QStringLiteral("arrow")},
                                {QStringLiteral("start"), pair(0.3 * w, 0.4 * h)},
                                {QStringLiteral("angle"), 0.6},
                                {QStringLiteral("length"), 0.2 * w},
                                {QStringLiteral("lineWidth"), 0.005 * w},
                                {QStringLiteral("colorHex"), QStringLiteral("#FF3B30")}});
    const auto mark = [&](double x, double y, const QString& text, bool background) {
        return QJsonObject{{QStringLiteral("position"), pair(x, y)},
                           {QStringLiteral("text"), text},
                           {QStringLiteral("fontSize"), 0.03 * h},
                           {QStringLiteral("colorHex"), QStringLiteral("#FFFFFF")},
                           {QStringLiteral("hasBackground"), background}};
    };
    const QJsonObject edits{
        {QStringLiteral("adjustment"), QJsonObject{{QStringLiteral("exposure"), 0.3},
                                                   {QStringLiteral("brightness"), 0.05},
                                                   {QStringLiteral("contrast"), 1.1},
                                                   {QStringLiteral("saturation"), 1.15},
                                                   {QStringLiteral("sharpness"), 0.4}}},
        {QStringLiteral("rotation"), 90},
        {QStringLiteral("flippedH"), true},
        {QStringLiteral("masks"),
         QJsonArray{QJsonObject{{QStringLiteral("rect"), rect(0.05 * w, 0.05 * h, 0.2 * w, 0.1 * h)},
                                {QStringLiteral("colorHex"), QStringLiteral("#000000")}},
                    QJsonObject{{QStringLiteral("rect"), rect(0.6 * w, 0.7 * h, 0.25 * w, 0.15 * h)},
                                {QStringLiteral("colorHex"), QStringLiteral("#FFFFFFCC")}}}},
        {QStringLiteral("freehandOverlays"), overlays},
        {QStringLiteral("textMarks"), QJsonArray{mark(0.3 * w, 0.8 * h, QStringLiteral("Kratzer links"), true),
                                                 mark(0.7 * w, 0.2 * h, QStringLiteral("Originalverpackung"), false)}},
        {QStringLiteral("watermark"), QJsonObject{{QStringLiteral("text"), QStringLiteral("© Lumora Studio")},
                                                  {QStringLiteral("position"), QStringLiteral("tiled")},
                                                  {QStringLiteral("opacity"), 0.35},
                                                  {QStringLiteral("sizeFactor"), 0.06},
                                                  {QStringLiteral("colorHex"), QStringLiteral("#FFFFFF")}}}};
    return QJsonDocument(edits).toJson(QJsonDocument::Compact);
}

EditState typicalEdits(QSize size)
{
    // The edits file is the one definition, so that a bench in this process and an export in a
    // child process render the same chain.
    auto edits = editStateFromJson(typicalEditsJson(size), size);
    Q_ASSERT(edits);
    return edits ? std::move(*edits) : EditState{};
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

/// `editsJson`: an edits file for this photo, or empty for the typical edits of its size.
std::optional<Timing> benchOne(const QByteArray& bytes, const QByteArray& editsJson, QString& problem)
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
    auto edits = editStateFromJson(editsJson.isEmpty() ? typicalEditsJson(size) : editsJson, size);
    if (!edits) {
        problem = edits.error();
        return std::nullopt;
    }
    timer.restart();
    const Image image = renderDecoded(std::move(*decoded), size, *edits);
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
    vips::ensureHeifModule(); // libvips chooses the loader here, HEIF photos included
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

AppFigures benchApp(const QStringList& files, const QByteArray& editsJson)
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
        const QSize size = photo.originalCI.size();
        const EditState edits =
            editStateFromJson(editsJson.isEmpty() ? typicalEditsJson(size) : editsJson, size).value_or(EditState{});
        photo.edits.adjustment = edits.adjustment;
        photo.edits.rotation = edits.rotation;
        photo.edits.flippedH = edits.flippedH;
        photo.edits.flippedV = edits.flippedV;
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

/// The export as a user runs it: `lumora-cli export --jpg` of all files with the edits, in a
/// child process of this program, so that its peak memory is its own.
ProgramCost benchCliExport(const QStringList& files, const QString& editsPath)
{
    QTemporaryDir folder;
    if (!folder.isValid())
        return {};
    QStringList args{QStringLiteral("export"), QStringLiteral("--jpg"), folder.path(), QStringLiteral("--edits"),
                     editsPath};
    args.append(files);
    return runMeasured(QCoreApplication::applicationFilePath(), args);
}

/// The medians of decode, render and encode, printed per photo as they come.
struct StageFigures {
    QList<double> decodes, renders, encodes;
};

StageFigures benchStages(const QStringList& files, const QByteArray& editsJson, QTextStream& out, QTextStream& err)
{
    StageFigures figures;
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
            (void)benchOne(bytes, editsJson, problem);
            warmedUp = true;
        }
        const auto t = benchOne(bytes, editsJson, problem);
        if (!t) {
            err << path << ": " << problem << "\n";
            continue;
        }
        const double ratio = (t->decode + t->render + t->encode) / (t->decode + t->encode);
        figures.decodes.append(t->decode);
        figures.renders.append(t->render);
        figures.encodes.append(t->encode);
        out << QFileInfo(path).fileName() << "  decode " << QString::number(t->decode, 'f', 1) << " ms  render "
            << QString::number(t->render, 'f', 1) << " ms  encode " << QString::number(t->encode, 'f', 1)
            << " ms  ratio " << QString::number(ratio, 'f', 3) << "\n";
    }
    return figures;
}

QString number(double value, int decimals = 1)
{
    return QString::number(value, 'f', decimals);
}

} // namespace

int runBench(const QStringList& args, QTextStream& out, QTextStream& err)
{
    CommandLine command(
        QStringLiteral("bench [--json] [--edits BEARBEITUNGEN.json] DATEIEN..."),
        QStringLiteral("Misst je Foto Dekodieren, Rendern in voller Auflösung mit typischen Bearbeitungen\n"
                       "und JPEG-Kodieren, dann Laden und Export wie in der App, den Export mit lumora-cli export\n"
                       "(Zeit und Spitzenspeicher) gegen libvips' eigenes Dekodieren und Kodieren, und die Maske\n"
                       "des Hintergrundmodus für das erste Foto bei geladenem Modell; gibt Mediane aus."),
        {QCommandLineOption(QStringLiteral("json"),
                            QStringLiteral("Zusätzlich eine Zusammenfassung als JSON-Zeile ausgeben.")),
         QCommandLineOption(QStringLiteral("edits"),
                            QStringLiteral("Diese Bearbeitungen statt der typischen verwenden (JSON-Datei)."),
                            QStringLiteral("BEARBEITUNGEN.json"))});
    if (const auto outcome = command.parse(args, out, err); outcome != CommandLine::Outcome::run)
        return exitCodeOf(outcome);
    const bool json = command.parser().isSet(QStringLiteral("json"));
    const QStringList files = command.parser().positionalArguments();
    if (files.isEmpty()) {
        err << command.usageLine();
        return 2;
    }
    QTemporaryDir scratch;
    QString editsPath = command.parser().value(QStringLiteral("edits"));
    QByteArray editsJson;
    if (!editsPath.isEmpty()) {
        auto read = readEditsFile(editsPath);
        if (!read) {
            err << read.error() << "\n";
            return 2;
        }
        editsJson = std::move(*read);
        const auto first = SourceImage::fromFile(files.first());
        if (auto edits = editStateFromJson(editsJson, first ? first->size() : QSize(1, 1)); !edits) {
            err << editsPath << ": " << edits.error() << "\n";
            return 2;
        }
    }

    const StageFigures stages = benchStages(files, editsJson, out, err);
    if (stages.decodes.isEmpty())
        return 1;
    const double md = median(stages.decodes), mr = median(stages.renders), me = median(stages.encodes);
    const double ratio = md + me > 0 ? (md + mr + me) / (md + me) : 0;
    const double renderVsDecode = md > 0 ? mr / md : 0;
    out << "median (" << stages.decodes.size() << " photos)  decode " << number(md) << " ms  render " << number(mr)
        << " ms  encode " << number(me) << " ms  ratio " << number(ratio, 3) << "  render/decode "
        << number(renderVsDecode, 3) << "\n";

    const AppFigures app = benchApp(files, editsJson);
    double meanCodec = 0;
    for (qsizetype i = 0; i < stages.decodes.size(); ++i)
        meanCodec += (stages.decodes[i] + stages.encodes[i]) / double(stages.decodes.size());
    const double exportRatio = meanCodec > 0 ? app.exportMs / meanCodec : 0;
    out << "app (" << app.photos << " photos)  load " << number(app.loadMs) << " ms/photo  export "
        << number(app.exportMs) << " ms/photo  export ratio " << number(exportRatio, 3) << "  resident "
        << number(app.rssPerPhotoMb) << " MB/photo (encoded " << number(app.encodedPerPhotoMb) << " MB/photo)\n";

    if (editsPath.isEmpty()) { // the typical edits of the first photo's size, for all
        editsPath = scratch.filePath(QStringLiteral("edits.json"));
        QFile file(editsPath);
        const auto size = SourceImage::fromFile(files.first());
        if (!file.open(QIODevice::WriteOnly) || !size || file.write(typicalEditsJson(size->size())) < 0)
            editsPath.clear();
    }
    const ProgramCost cli = editsPath.isEmpty() ? ProgramCost{} : benchCliExport(files, editsPath);
    const double cliExportMs = cli.exitCode == 0 ? cli.wallMs / double(files.size()) : 0;
    if (cli.exitCode != 0)
        err << "lumora-cli export: Exit-Code " << cli.exitCode << "\n";
    const double floorMs = benchFloor(files);
    const double exportVsFloor = floorMs > 0 ? cliExportMs / floorMs : 0;
    out << "lumora-cli export (" << files.size() << " photos)  " << number(cliExportMs) << " ms/photo  peak "
        << number(cli.peakRssMb) << " MB\n";
    out << "floor (libvips decode + JPEG 95, streamed) " << number(floorMs) << " ms/photo  export/floor "
        << number(exportVsFloor, 3) << "\n";

    const auto mask = backgroundMaskMs(files.first());
    if (mask)
        out << "background mask (model loaded, " << segmentationRuntime() << ", " << QFileInfo(files.first()).fileName()
            << ") " << number(*mask) << " ms\n";
    else
        err << "background mask: " << mask.error().description << "\n";
    if (json) {
        const QJsonObject summary{{QStringLiteral("photos"), stages.decodes.size()},
                                  {QStringLiteral("decode_ms"), md},
                                  {QStringLiteral("render_ms"), mr},
                                  {QStringLiteral("encode_ms"), me},
                                  {QStringLiteral("ratio"), ratio},
                                  {QStringLiteral("render_vs_decode"), renderVsDecode},
                                  {QStringLiteral("load_ms"), app.loadMs},
                                  {QStringLiteral("export_ms"), app.exportMs},
                                  {QStringLiteral("export_ratio"), exportRatio},
                                  {QStringLiteral("rss_per_photo_mb"), app.rssPerPhotoMb},
                                  {QStringLiteral("encoded_per_photo_mb"), app.encodedPerPhotoMb},
                                  {QStringLiteral("cli_export_ms"), cliExportMs},
                                  {QStringLiteral("export_peak_rss_mb"), cli.peakRssMb},
                                  {QStringLiteral("floor_ms"), floorMs},
                                  {QStringLiteral("export_vs_floor"), exportVsFloor},
                                  {QStringLiteral("mask_ms"), mask ? QJsonValue(*mask) : QJsonValue()},
                                  {QStringLiteral("mask_runtime"), segmentationRuntime()}};
        out << QJsonDocument(summary).toJson(QJsonDocument::Compact) << "\n";
    }
    return 0;
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
