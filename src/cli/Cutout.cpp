#include "cli/Cutout.h"

#include "base/AtomicFile.h"
#include "cli/CommandLine.h"
#include "cutout/EdgeRefinement.h"
#include "cutout/FreistellenEngine.h"
#include "cutout/SegmentationModel.h"
#include "pipeline/ColorHex.h"
#include "pipeline/Compositing.h"
#include "pipeline/Encoders.h"
#include "pipeline/SourceImage.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTextStream>

namespace lumora {

namespace {

struct CutoutArgs {
    QString input, output, background, mask;
    std::optional<QColor> color;
    int runs = 1;
};

// Parses the arguments; `exitCode` is set when there is nothing to run.
std::optional<CutoutArgs> parseArgs(const QStringList& args, QTextStream& out, QTextStream& err, int& exitCode)
{
    CommandLine command(
        QStringLiteral("cutout EINGABE AUSGABE.png|.jpg [--color \"#RRGGBB\" | --background FOTO] [--mask MASKE.png] "
                       "[--runs N]"),
        QStringLiteral(
            "Stellt die Motive von EINGABE frei und setzt sie vor eine Farbe, ein Hintergrundfoto (füllend,\n"
            "mittig beschnitten) oder Transparenz; PNG behält die Transparenz, JPEG legt sie auf Weiß.\n"
            "Exit-Codes: 0 geschrieben, 1 Foto nicht lesbar, kein Motiv, Modell fehlt oder Datei nicht\n"
            "schreibbar, 2 falsche Argumente."),
        {QCommandLineOption(QStringLiteral("color"), QStringLiteral("Hintergrundfarbe, z. B. \"#1E90FF\"."),
                            QStringLiteral("#RRGGBB")),
         QCommandLineOption(QStringLiteral("background"), QStringLiteral("Hintergrundfoto statt einer Farbe."),
                            QStringLiteral("FOTO")),
         QCommandLineOption(QStringLiteral("mask"),
                            QStringLiteral("Die Maske zusätzlich als Graustufen-PNG schreiben."),
                            QStringLiteral("MASKE.png")),
         QCommandLineOption(QStringLiteral("runs"),
                            QStringLiteral("Die Maske N-mal berechnen und jede Zeit ausgeben (Standard 1)."),
                            QStringLiteral("N"))});
    exitCode = 2;
    if (const auto outcome = command.parse(args, out, err); outcome != CommandLine::Outcome::run) {
        exitCode = exitCodeOf(outcome);
        return std::nullopt;
    }
    const QCommandLineParser& parser = command.parser();
    CutoutArgs parsed;
    if (parser.isSet(QStringLiteral("color"))) {
        const QString hex = parser.value(QStringLiteral("color"));
        parsed.color = colorFromHex(hex);
        if (!parsed.color) {
            err << "Fehler: --color erwartet eine Farbe wie \"#1E90FF\", nicht " << hex << "\n";
            return std::nullopt;
        }
    }
    if (parser.isSet(QStringLiteral("runs"))) {
        bool ok = false;
        parsed.runs = parser.value(QStringLiteral("runs")).toInt(&ok);
        if (!ok || parsed.runs < 1) {
            err << "Fehler: --runs erwartet eine ganze Zahl ab 1.\n";
            return std::nullopt;
        }
    }
    parsed.background = parser.value(QStringLiteral("background"));
    parsed.mask = parser.value(QStringLiteral("mask"));
    const QStringList positional = parser.positionalArguments();
    if (positional.size() != 2 || (parsed.color && !parsed.background.isEmpty())) {
        err << command.usageLine();
        return std::nullopt;
    }
    parsed.input = positional[0];
    parsed.output = positional[1];
    return parsed;
}

std::optional<Image> loadPhoto(const QString& path, QTextStream& err)
{
    auto source = SourceImage::fromFile(path);
    auto raster = source ? source->decode() : std::expected<QImage, Error>(std::unexpected(source.error()));
    if (!raster) {
        err << path << ": " << raster.error().description << "\n";
        return std::nullopt;
    }
    const QRectF extent(QPointF(0, 0), QSizeF(raster->size()));
    return Image{std::move(*raster), extent};
}

bool writeResult(const QString& path, const std::expected<QByteArray, Error>& bytes, QTextStream& err)
{
    if (!bytes) {
        err << path << ": " << bytes.error().description << "\n";
        return false;
    }
    if (auto written = writeFileAtomically(path, *bytes); !written) {
        err << path << ": " << written.error().description << "\n";
        return false;
    }
    return true;
}

std::expected<QByteArray, Error> maskAsPng(const QImage& mask)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    if (!buffer.open(QIODevice::WriteOnly) || !mask.save(&buffer, "PNG"))
        return std::unexpected(encodingError(encoderErrors::pngEncodingFailed));
    return bytes;
}

} // namespace

int runCutout(const QStringList& args, QTextStream& out, QTextStream& err)
{
    int exitCode = 0;
    const auto parsed = parseArgs(args, out, err, exitCode);
    if (!parsed)
        return exitCode;
    const QString suffix = QFileInfo(parsed->output).suffix().toLower();
    const bool png = suffix == QLatin1String("png");
    if (!png && suffix != QLatin1String("jpg") && suffix != QLatin1String("jpeg")) {
        err << "Fehler: die Ausgabe muss auf .png, .jpg oder .jpeg enden.\n";
        return 2;
    }
    // The model loads on another core while the photo decodes.
    preloadIsnet();
    QElapsedTimer clock;
    clock.start();
    const auto photo = loadPhoto(parsed->input, err);
    std::optional<Image> background;
    if (photo && !parsed->background.isEmpty())
        background = loadPhoto(parsed->background, err);
    if (!photo || (!parsed->background.isEmpty() && !background))
        return 1;
    const qint64 loaded = clock.restart();

    // The first mask waits for the rest of the model's load; further runs measure the mask with
    // the model loaded.
    auto mask = FreistellenEngine().segmentNow(photo->raster);
    QStringList maskTimes{QString::number(clock.restart())};
    for (int run = 1; run < parsed->runs && mask; ++run) {
        mask = FreistellenEngine().segmentNow(photo->raster);
        maskTimes.append(QString::number(clock.restart()));
    }
    if (!mask) {
        err << parsed->input << ": " << mask.error().description << "\n";
        return 1;
    }
    // The model's mask is as coarse as its input grid; the photo itself sharpens its edges.
    EdgeRefinementParams refinement;
    refinement.maskDetailSide = kSegmentationInputSize;
    const QImage refined = refineMask(*mask, photo->raster, refinement);
    const qint64 refinedIn = clock.restart();
    const auto result = hintergrundErsetzen(*photo, refined, parsed->color, background);
    if (!result) {
        err << parsed->input << ": Komposition fehlgeschlagen\n";
        return 1;
    }
    const qint64 composited = clock.restart();
    if (!writeResult(parsed->output, png ? encodePNG(*result) : encodeJPEG(*result, 0.95), err))
        return 1;
    if (!parsed->mask.isEmpty() && !writeResult(parsed->mask, maskAsPng(refined), err))
        return 1;
    out << parsed->output << ": " << result->raster.width() << " × " << result->raster.height() << " (laden " << loaded
        << " ms, Maske " << maskTimes.join(QStringLiteral(" / ")) << " ms mit " << segmentationRuntime() << ", Kanten "
        << refinedIn << " ms, Komposition " << composited << " ms, schreiben " << clock.elapsed() << " ms)\n";
    return 0;
}

} // namespace lumora
