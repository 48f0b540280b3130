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

constexpr auto kAufruf = "Aufruf: lumora-cli cutout EINGABE AUSGABE.png|.jpg [--color \"#RRGGBB\" | --background FOTO] "
                         "[--mask MASKE.png] [--runs N]\n";

struct CutoutArgs {
    QString eingabe, ausgabe, hintergrund, maske;
    std::optional<QColor> farbe;
    int laeufe = 1;
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
            parsed.farbe = colorFromHex(args[++i]);
            if (!parsed.farbe) {
                err << "Fehler: --color erwartet eine Farbe wie \"#1E90FF\", nicht " << args[i] << "\n";
                return std::nullopt;
            }
        } else if (arg == QLatin1String("--background") && hasValue) {
            parsed.hintergrund = args[++i];
        } else if (arg == QLatin1String("--mask") && hasValue) {
            parsed.maske = args[++i];
        } else if (arg == QLatin1String("--runs") && hasValue) {
            bool ok = false;
            parsed.laeufe = args[++i].toInt(&ok);
            if (!ok || parsed.laeufe < 1) {
                err << "Fehler: --runs erwartet eine ganze Zahl ab 1.\n";
                return std::nullopt;
            }
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "Fehler: unbekannte oder unvollständige Option " << arg << "\n" << kAufruf;
            return std::nullopt;
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 2 || (parsed.farbe && !parsed.hintergrund.isEmpty())) {
        err << kAufruf;
        return std::nullopt;
    }
    parsed.eingabe = positional[0];
    parsed.ausgabe = positional[1];
    return parsed;
}

std::optional<Image> ladeFoto(const QString& pfad, QTextStream& err)
{
    auto quelle = SourceImage::fromFile(pfad);
    auto raster = quelle ? quelle->decode() : std::expected<QImage, Error>(std::unexpected(quelle.error()));
    if (!raster) {
        err << pfad << ": " << raster.error().description << "\n";
        return std::nullopt;
    }
    const QRectF extent(QPointF(0, 0), QSizeF(raster->size()));
    return Image{std::move(*raster), extent};
}

bool schreiben(const QString& pfad, const std::expected<QByteArray, Error>& bytes, QTextStream& err)
{
    if (!bytes) {
        err << pfad << ": " << bytes.error().description << "\n";
        return false;
    }
    if (auto written = writeFileAtomically(pfad, *bytes); !written) {
        err << pfad << ": " << written.error().description << "\n";
        return false;
    }
    return true;
}

std::expected<QByteArray, Error> maskeAlsPng(const QImage& maske)
{
    QByteArray bytes;
    QBuffer puffer(&bytes);
    if (!puffer.open(QIODevice::WriteOnly) || !maske.save(&puffer, "PNG"))
        return std::unexpected(encodingError(-12));
    return bytes;
}

} // namespace

int runCutout(const QStringList& args, QTextStream& out, QTextStream& err)
{
    const auto parsed = parseArgs(args, err);
    if (!parsed)
        return 2;
    const QString suffix = QFileInfo(parsed->ausgabe).suffix().toLower();
    const bool png = suffix == QLatin1String("png");
    if (!png && suffix != QLatin1String("jpg") && suffix != QLatin1String("jpeg")) {
        err << "Fehler: die Ausgabe muss auf .png, .jpg oder .jpeg enden.\n";
        return 2;
    }
    QElapsedTimer uhr;
    uhr.start();
    const auto foto = ladeFoto(parsed->eingabe, err);
    std::optional<Image> hintergrund;
    if (foto && !parsed->hintergrund.isEmpty())
        hintergrund = ladeFoto(parsed->hintergrund, err);
    if (!foto || (!parsed->hintergrund.isEmpty() && !hintergrund))
        return 1;
    const qint64 geladen = uhr.restart();

    // Further runs measure the mask with the model already loaded.
    auto maske = FreistellenEngine().maskeErzeugenSync(foto->raster);
    QStringList maskenZeiten{QString::number(uhr.restart())};
    for (int lauf = 1; lauf < parsed->laeufe && maske; ++lauf) {
        maske = FreistellenEngine().maskeErzeugenSync(foto->raster);
        maskenZeiten.append(QString::number(uhr.restart()));
    }
    if (!maske) {
        err << parsed->eingabe << ": " << maske.error().description << "\n";
        return 1;
    }
    const auto ergebnis = hintergrundErsetzen(*foto, *maske, parsed->farbe, hintergrund);
    if (!ergebnis) {
        err << parsed->eingabe << ": Komposition fehlgeschlagen\n";
        return 1;
    }
    const qint64 komponiert = uhr.restart();
    if (!schreiben(parsed->ausgabe, png ? encodePNG(*ergebnis) : encodeJPEG(*ergebnis, 0.95), err))
        return 1;
    if (!parsed->maske.isEmpty() && !schreiben(parsed->maske, maskeAlsPng(*maske), err))
        return 1;
    out << parsed->ausgabe << ": " << ergebnis->raster.width() << " × " << ergebnis->raster.height()
        << " (laden " << geladen << " ms, Maske " << maskenZeiten.join(QStringLiteral(" / ")) << " ms, Komposition " << komponiert
        << " ms, schreiben " << uhr.elapsed() << " ms)\n";
    return 0;
}

} // namespace lumora
