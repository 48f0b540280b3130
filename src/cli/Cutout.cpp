#include "cli/Cutout.h"

#include "cutout/FreistellenEngine.h"
#include "base/AtomicFile.h"
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

constexpr auto kUsage = "Aufruf: lumora-cli cutout EINGABE AUSGABE.png|.jpg [--color \"#RRGGBB\" | --background FOTO] "
                         "[--mask MASKE.png] [--runs N]\n";

struct CutoutArgs {
    QString input, output, background, mask;
    std::optional<QColor> color;
    int runs = 1;
};

// Parses the arguments; on failure the message is already written.
std::optional<CutoutArgs> parseArgs(const QStringList& args, QTextStream& err)
{
    CutoutArgs parsed;
    QStringList positional;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == QLatin1String("--color") && hasValue) {
            parsed.color = colorFromHex(args[++i]);
            if (!parsed.color) {
                err << "Fehler: --color erwartet eine Farbe wie \"#1E90FF\", nicht " << args[i] << "\n";
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--background") && hasValue) {
            parsed.background = args[++i];
        } else if (arg == QLatin1String("--mask") && hasValue) {
            parsed.mask = args[++i];
        } else if (arg == QLatin1String("--runs") && hasValue) {
            bool ok = false;
            parsed.runs = args[++i].toInt(&ok);
            if (!ok || parsed.runs < 1) {
                err << "Fehler: --runs erwartet eine ganze Zahl ab 1.\n";
                return std::nullopt;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "Fehler: unbekannte oder unvollständige Option " << arg << "\n" << kUsage;
            return std::nullopt;
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 2 || (parsed.color && !parsed.background.isEmpty())) {
        err << kUsage;
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
    const auto parsed = parseArgs(args, err);
    if (!parsed)
        return 2;
    const QString suffix = QFileInfo(parsed->output).suffix().toLower();
    const bool png = suffix == QLatin1String("png");
    if (!png && suffix != QLatin1String("jpg") && suffix != QLatin1String("jpeg")) {
        err << "Fehler: die Ausgabe muss auf .png, .jpg oder .jpeg enden.\n";
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    const auto photo = loadPhoto(parsed->input, err);
    std::optional<Image> background;
    if (photo && !parsed->background.isEmpty())
        background = loadPhoto(parsed->background, err);
    if (!photo || (!parsed->background.isEmpty() && !background))
        return 1;
    const qint64 loaded = clock.restart();

    // Further runs measure the mask with the model already loaded.
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
    const auto result = hintergrundErsetzen(*photo, *mask, parsed->color, background);
    if (!result) {
        err << parsed->input << ": Komposition fehlgeschlagen\n";
        return 1;
    }
    const qint64 composited = clock.restart();
    if (!writeResult(parsed->output, png ? encodePNG(*result) : encodeJPEG(*result, 0.95), err))
        return 1;
    if (!parsed->mask.isEmpty() && !writeResult(parsed->mask, maskAsPng(*mask), err))
        return 1;
    out << parsed->output << ": " << result->raster.width() << " × " << result->raster.height()
        << " (laden " << loaded << " ms, Maske " << maskTimes.join(QStringLiteral(" / ")) << " ms, Komposition " << composited
        << " ms, schreiben " << clock.elapsed() << " ms)\n";
    return 0;
}

} // namespace lumora
