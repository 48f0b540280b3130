#include "cli/Commands.h"
#include "cli/EditsJson.h"
#include "fileops/SaveExport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace lumora {

namespace {

struct ExportArgs {
    ExportFormat format = ExportFormat::jpeg;
    bool formatGiven = false;
    QString folder;
    QString editsPath;
    QStringList files;
};

std::optional<ExportArgs> parseExportArgs(const QStringList& args, QTextStream& err)
{
    ExportArgs parsed;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if ((arg == QLatin1String("--jpg") || arg == QLatin1String("--png")) && i + 1 < args.size() && !parsed.formatGiven) {
            parsed.format = arg == QLatin1String("--png") ? ExportFormat::png : ExportFormat::jpeg;
            parsed.formatGiven = true;
            parsed.folder = args[++i];
        } else if (arg == QLatin1String("--edits") && i + 1 < args.size()) {
            parsed.editsPath = args[++i];
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "Fehler: unbekannte Option " << arg << "\n";
            return std::nullopt;
        } else {
            parsed.files.append(arg);
        }
    }
    if (!parsed.formatGiven || parsed.files.isEmpty()) {
        err << "Aufruf: lumora-cli export --jpg|--png ORDNER [--edits BEARBEITUNGEN.json] DATEIEN...\n";
        return std::nullopt;
    }
    return parsed;
}

} // namespace

int runExport(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const auto parsed = parseExportArgs(args, err);
    if (!parsed)
        return 2;
    QByteArray editsJson = "{}";
    if (!parsed->editsPath.isEmpty()) {
        QFile file(parsed->editsPath);
        if (!file.open(QIODevice::ReadOnly)) {
            err << parsed->editsPath << ": " << file.errorString() << "\n";
            return 2;
        }
        editsJson = file.readAll();
    }
    QList<PhotoItem> photos;
    for (const QString& path : parsed->files) {
        auto original = SourceImage::fromFile(path);
        if (!original) {
            err << path << ": " << original.error().description << "\n";
            return 1;
        }
        auto edits = editStateFromJson(editsJson, original->size());
        if (!edits) {
            err << parsed->editsPath << ": " << edits.error() << "\n";
            return 2;
        }
        PhotoItem photo;
        photo.url = QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath());
        photo.originalCI = *original;
        photo.edits.adjustment = edits->adjustment;
        photo.edits.rotation = edits->rotation;
        photo.edits.flippedH = edits->flippedH;
        photo.edits.flippedV = edits->flippedV;
        photo.edits.watermark = edits->watermark;
        photo.edits.masks = edits->masks;
        photo.edits.freehandOverlays = edits->freehandOverlays;
        photo.edits.textMarks = edits->textMarks;
        photos.append(std::move(photo));
    }

    const bool png = parsed->format == ExportFormat::png;
    const int count = int(photos.size());
    auto stream = exportPhotos(photos, std::make_shared<CancelToken>(), numberWidth(count), parsed->folder, count,
                               parsed->format);
    std::optional<StreamEnd> end;
    QObject context;
    stream->subscribe(
        &context, [&](double fraction) { err << (png ? "PNG" : "JPG") << "-Export: " << qRound(fraction * 100) << " %\n" << Qt::flush; },
        [&](const StreamEnd& e) { end = e; });
    while (!end)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    if (end->error) {
        err << (png ? "Fehler beim PNG-Export: " : "Fehler beim JPG-Export: ") << end->error->description << "\n";
        return 1;
    }
    out << (png ? "Export als PNG erfolgreich abgeschlossen." : "Export als JPG erfolgreich abgeschlossen.") << "\n";
    return 0;
}

} // namespace lumora
