#include "cli/CommandLine.h"
#include "cli/Commands.h"
#include "fileops/SaveExport.h"
#include "pipeline/EditsJson.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTextStream>

namespace lumora {

namespace {

struct ExportArgs {
    ExportFormat format = ExportFormat::jpeg;
    QString folder;
    QString editsPath;
    QStringList files;
};

// Parses the arguments; `exitCode` is set when there is nothing to run.
std::optional<ExportArgs> parseExportArgs(const QStringList& args, QTextStream& out, QTextStream& err, int& exitCode)
{
    CommandLine command(
        QStringLiteral("export --jpg|--png ORDNER [--edits BEARBEITUNGEN.json] DATEIEN..."),
        QStringLiteral("Exportiert die DATEIEN in der angegebenen Reihenfolge nummeriert nach ORDNER, mit denselben\n"
                       "Bearbeitungen für alle. Fortschritt auf stderr. Exit-Codes: 0 fertig, 1 eine Datei war nicht\n"
                       "lesbar oder nicht schreibbar, 2 falsche Argumente oder fehlerhafte Bearbeitungsdatei."),
        {QCommandLineOption(QStringLiteral("jpg"), QStringLiteral("Als JPEG nach ORDNER exportieren."),
                            QStringLiteral("ORDNER")),
         QCommandLineOption(QStringLiteral("png"), QStringLiteral("Als PNG nach ORDNER exportieren."),
                            QStringLiteral("ORDNER")),
         QCommandLineOption(QStringLiteral("edits"), QStringLiteral("Bearbeitungen als JSON-Datei."),
                            QStringLiteral("BEARBEITUNGEN.json"))});
    if (const auto outcome = command.parse(args, out, err); outcome != CommandLine::Outcome::run) {
        exitCode = exitCodeOf(outcome);
        return std::nullopt;
    }
    const QCommandLineParser& parser = command.parser();
    const QStringList jpg = parser.values(QStringLiteral("jpg")), png = parser.values(QStringLiteral("png"));
    ExportArgs parsed;
    parsed.files = parser.positionalArguments();
    parsed.editsPath = parser.value(QStringLiteral("edits"));
    if (jpg.size() + png.size() != 1 || parsed.files.isEmpty()) {
        err << command.usageLine();
        exitCode = 2;
        return std::nullopt;
    }
    parsed.format = png.isEmpty() ? ExportFormat::jpeg : ExportFormat::png;
    parsed.folder = png.isEmpty() ? jpg.first() : png.first();
    return parsed;
}

} // namespace

int runExport(const QStringList& args, QTextStream& out, QTextStream& err)
{
    int exitCode = 0;
    const auto parsed = parseExportArgs(args, out, err, exitCode);
    if (!parsed)
        return exitCode;
    QByteArray editsJson = "{}";
    if (!parsed->editsPath.isEmpty()) {
        auto json = readEditsFile(parsed->editsPath);
        if (!json) {
            err << json.error() << "\n";
            return 2;
        }
        editsJson = std::move(*json);
    }
    QList<PhotoItem> photos;
    for (const QString& path : parsed->files) {
        // Each file is read again when its turn comes: a batch holds no file's bytes before or after.
        auto original = SourceImage::fromFileReadOnDemand(path);
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
        &context,
        [&](double fraction) {
            err << (png ? "PNG" : "JPG") << "-Export: " << qRound(fraction * 100) << " %\n" << Qt::flush;
        },
        [&](const StreamEnd& e) { end = e; });
    while (!end)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents); // sleeps until the next event
    if (end->error) {
        err << (png ? "Fehler beim PNG-Export: " : "Fehler beim JPG-Export: ") << end->error->description << "\n";
        return 1;
    }
    out << (png ? "Export als PNG erfolgreich abgeschlossen." : "Export als JPG erfolgreich abgeschlossen.") << "\n";
    return 0;
}

} // namespace lumora
