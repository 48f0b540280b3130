#include "cli/Commands.h"

#include "base/AtomicFile.h"
#include "cli/CommandLine.h"
#include "pipeline/EditsJson.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace lumora {

int runRender(const QStringList& args, QTextStream& out, QTextStream& err)
{
    CommandLine command(
        QStringLiteral("render EINGABE AUSGABE.jpg|.png [--edits BEARBEITUNGEN.json] [--scale S]"),
        QStringLiteral("Rendert das Foto EINGABE mit seinen Bearbeitungen und schreibt es als JPEG (Qualität 0,95)\n"
                       "oder PNG nach AUSGABE. Exit-Codes: 0 geschrieben, 1 Foto nicht lesbar oder nicht\n"
                       "schreibbar, 2 falsche Argumente oder fehlerhafte Bearbeitungsdatei."),
        {QCommandLineOption(QStringLiteral("edits"), QStringLiteral("Bearbeitungen als JSON-Datei."),
                            QStringLiteral("BEARBEITUNGEN.json")),
         QCommandLineOption(QStringLiteral("scale"),
                            QStringLiteral("Maßstab größer als 0 und höchstens 1 (Standard 1)."),
                            QStringLiteral("S"))});
    if (const auto outcome = command.parse(args, out, err); outcome != CommandLine::Outcome::run)
        return exitCodeOf(outcome);
    const QCommandLineParser& parser = command.parser();
    const QString editsPath = parser.value(QStringLiteral("edits"));
    double scale = 1.0;
    if (parser.isSet(QStringLiteral("scale"))) {
        bool ok = false;
        scale = parser.value(QStringLiteral("scale")).toDouble(&ok);
        if (!ok || !(scale > 0) || scale > 1) {
            err << "Fehler: --scale erwartet eine Zahl größer als 0 und höchstens 1.\n";
            return 2;
        }
    }
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2) {
        err << command.usageLine();
        return 2;
    }
    const QString suffix = QFileInfo(positional[1]).suffix().toLower();
    const bool png = suffix == QLatin1String("png");
    if (!png && suffix != QLatin1String("jpg") && suffix != QLatin1String("jpeg")) {
        err << "Fehler: die Ausgabe muss auf .jpg, .jpeg oder .png enden.\n";
        return 2;
    }

    auto source = SourceImage::fromFile(positional[0]);
    if (!source) {
        err << positional[0] << ": " << source.error().description << "\n";
        return 1;
    }
    EditState edits;
    if (!editsPath.isEmpty()) {
        const auto json = readEditsFile(editsPath);
        if (!json) {
            err << json.error() << "\n";
            return 2;
        }
        auto parsed = editStateFromJson(*json, source->size());
        if (!parsed) {
            err << editsPath << ": " << parsed.error() << "\n";
            return 2;
        }
        edits = *parsed;
    }
    auto image = renderImage(*source, edits, scale);
    if (!image) {
        err << positional[0] << ": " << image.error().description << "\n";
        return 1;
    }
    auto bytes = png ? encodePNG(*image) : encodeJPEG(*image, 0.95);
    if (!bytes) {
        err << positional[1] << ": " << bytes.error().description << "\n";
        return 1;
    }
    if (auto written = writeFileAtomically(positional[1], *bytes); !written) {
        err << positional[1] << ": " << written.error().description << "\n";
        return 1;
    }
    const QSize written = image->raster.size();
    out << positional[1] << ": " << written.width() << " × " << written.height() << "\n";
    return 0;
}

} // namespace lumora
