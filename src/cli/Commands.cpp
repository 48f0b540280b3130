#include "cli/Commands.h"

#include "cli/EditsJson.h"
#include "base/AtomicFile.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"

#include <QFile>
#include <QFileInfo>
#include <QTextStream>

namespace lumora {

int runRender(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QStringList positional;
    QString editsPath;
    double scale = 1.0;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (arg == QLatin1String("--edits") && i + 1 < args.size()) {
            editsPath = args[++i];
        } else if (arg == QLatin1String("--scale") && i + 1 < args.size()) {
            bool ok = false;
            scale = args[++i].toDouble(&ok);
            if (!ok || !(scale > 0) || scale > 1) {
                err << "Fehler: --scale erwartet eine Zahl größer als 0 und höchstens 1.\n";
                return 2;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "Fehler: unbekannte Option " << arg << "\n";
            return 2;
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 2) {
        err << "Aufruf: lumora-cli render EINGABE AUSGABE.jpg|.png [--edits BEARBEITUNGEN.json] [--scale S]\n";
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
        QFile file(editsPath);
        if (!file.open(QIODevice::ReadOnly)) {
            err << editsPath << ": " << file.errorString() << "\n";
            return 2;
        }
        auto parsed = editStateFromJson(file.readAll(), source->size());
        if (!parsed) {
            err << editsPath << ": " << parsed.error() << "\n";
            return 2;
        }
        edits = *parsed;
    }
    auto image = renderImage(*source, edits, scale, RenderTarget::encoder);
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
    const QSize written = image->pendingTurn.transposes() ? image->raster.size().transposed() : image->raster.size();
    out << positional[1] << ": " << written.width() << " × " << written.height() << "\n";
    return 0;
}

} // namespace lumora
