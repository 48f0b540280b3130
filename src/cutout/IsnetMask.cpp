// The segmentation behind FreistellenEngine: ISNet (salient objects) run by OpenCV's DNN module.
// OpenCV stays inside this file; the header speaks QImage and Error.

#include "cutout/SegmentationModel.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QtConcurrent/QtConcurrentRun>

#include <opencv2/core.hpp>
#include <opencv2/dnn.hpp>
#include <opencv2/imgproc.hpp>
#include <openssl/evp.h>

#include <future>
#include <mutex>

namespace lumora {

namespace {

constexpr int S = kFreistellModellEingabe;

// The loaded network, shared by all engines: loading takes a quarter of a second and 180 MB.
// cv::dnn::Net::forward is not re-entrant, so the mutex also serialises inference.
struct GeladenesNetz {
    std::mutex mutex;
    cv::dnn::Net net;
    QString pfad;
    QDateTime geaendert;
    qint64 groesse = -1;
};

GeladenesNetz& geladenesNetz()
{
    static GeladenesNetz netz;
    return netz;
}

QString ausnahmeText(const cv::Exception& e)
{
    return QString::fromStdString(e.err.empty() ? e.msg : e.err).trimmed();
}

QByteArray sha256Hex(const QByteArray& daten)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int laenge = 0;
    if (EVP_Digest(daten.constData(), size_t(daten.size()), digest, &laenge, EVP_sha256(), nullptr) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(digest), int(laenge)).toHex();
}

// The checksum the set-up script wrote beside the model ("<hex>  <name>", as sha256sum
// writes it); empty when there is none, as for a model placed by hand.
QByteArray erwartetePruefsumme(const QString& pfad)
{
    QFile datei(pfad + QStringLiteral(".sha256"));
    if (!datei.open(QIODevice::ReadOnly))
        return {};
    return datei.readLine(200).trimmed().split(' ').value(0).toLower();
}

// Parses the model from memory while its checksum is computed on a second thread: a model
// damaged inside its weights still parses, and would only give wrong masks.
std::expected<cv::dnn::Net, Error> netzLaden(const QString& pfad)
{
    const auto unbrauchbar = [&](const QString& grund) {
        return std::unexpected(freistellFehler(kFreistellModellUnbrauchbar, pfad + QStringLiteral(": ") + grund));
    };
    QFile datei(pfad);
    if (!datei.open(QIODevice::ReadOnly))
        return unbrauchbar(datei.errorString());
    const QByteArray bytes = datei.readAll();
    const QByteArray erwartet = erwartetePruefsumme(pfad);
    std::future<QByteArray> pruefsumme;
    if (!erwartet.isEmpty())
        pruefsumme = std::async(std::launch::async, [&bytes] { return sha256Hex(bytes); });
    try {
        cv::dnn::Net net = cv::dnn::readNetFromONNX(bytes.constData(), size_t(bytes.size()));
        if (pruefsumme.valid() && pruefsumme.get() != erwartet)
            return unbrauchbar(QStringLiteral("Prüfsumme stimmt nicht"));
        if (net.empty())
            return unbrauchbar(QStringLiteral("leeres Netz"));
        return net;
    } catch (const cv::Exception& e) {
        return unbrauchbar(ausnahmeText(e));
    } catch (const std::exception& e) {
        return unbrauchbar(QString::fromLocal8Bit(e.what()));
    }
}

// Loads the model unless the same file is already loaded. Caller holds the mutex.
std::expected<cv::dnn::Net*, Error> netzFuer(GeladenesNetz& netz, const QString& pfad)
{
    const QFileInfo info(pfad);
    if (!info.isFile())
        return std::unexpected(freistellFehler(kFreistellModellFehlt, pfad));
    if (!netz.net.empty() && netz.pfad == pfad && netz.geaendert == info.lastModified() && netz.groesse == info.size())
        return &netz.net;
    netz.net = cv::dnn::Net();
    auto geladen = netzLaden(pfad);
    if (!geladen)
        return std::unexpected(geladen.error());
    netz.net = std::move(*geladen);
    netz.pfad = pfad;
    netz.geaendert = info.lastModified();
    netz.groesse = info.size();
    return &netz.net;
}

// The bitmap as premultiplied 4-byte B, G, R, A pixels (little-endian ARGB32); opaque RGB32
// has the same bytes.
QImage alsBgra(const QImage& bitmap)
{
    switch (bitmap.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return bitmap;
    default:
        return bitmap.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
}

// 1 × 3 × S × S, planes R, G, B, each value (v − 128) / 256: the scaling the model was
// published with. The photo is stretched to the square, whatever its aspect ratio.
cv::Mat eingabeBlob(const QImage& bitmap)
{
    const QImage bgra = alsBgra(bitmap);
    const cv::Mat quelle(bgra.height(), bgra.width(), CV_8UC4, const_cast<uchar*>(bgra.constBits()),
                         size_t(bgra.bytesPerLine()));
    cv::Mat quadrat;
    // Area averaging when shrinking: bilinear sampling of a 24 MP photo would alias.
    const bool verkleinern = bgra.width() >= S && bgra.height() >= S;
    cv::resize(quelle, quadrat, cv::Size(S, S), 0, 0, verkleinern ? cv::INTER_AREA : cv::INTER_LINEAR);

    const int dims[] = {1, 3, S, S};
    cv::Mat blob(4, dims, CV_32F);
    float* rot = blob.ptr<float>();
    float* gruen = rot + S * S;
    float* blau = gruen + S * S;
    for (int y = 0; y < S; ++y) {
        const uchar* zeile = quadrat.ptr<uchar>(y);
        for (int x = 0; x < S; ++x) {
            const int i = y * S + x;
            blau[i] = (float(zeile[4 * x + 0]) - 128.0f) / 256.0f;
            gruen[i] = (float(zeile[4 * x + 1]) - 128.0f) / 256.0f;
            rot[i] = (float(zeile[4 * x + 2]) - 128.0f) / 256.0f;
        }
    }
    return blob;
}

// The network's S × S probabilities as an 8-bit mask of `groesse`, stretched bilinearly.
std::expected<QImage, Error> maskeAusAusgabe(const cv::Mat& ausgabe, QSize groesse)
{
    if (ausgabe.dims != 4 || ausgabe.size[0] != 1 || ausgabe.size[1] != 1 || ausgabe.size[2] != S ||
        ausgabe.size[3] != S || ausgabe.type() != CV_32F)
        return std::unexpected(freistellFehler(kFreistellModellUnbrauchbar, QStringLiteral("unerwartete Ausgabe des Modells")));
    const cv::Mat wahrscheinlichkeit(S, S, CV_32F, const_cast<float*>(ausgabe.ptr<float>()));
    if (!cv::checkRange(wahrscheinlichkeit))
        return std::unexpected(freistellFehler(kFreistellenFehlgeschlagen, QStringLiteral("ungültige Werte")));
    cv::Mat klein;
    wahrscheinlichkeit.convertTo(klein, CV_8U, 255.0); // rounds and clamps to 0…255

    QImage maske(groesse, QImage::Format_Grayscale8);
    if (maske.isNull())
        return std::unexpected(freistellFehler(kFreistellenFehlgeschlagen, QStringLiteral("zu wenig Speicher")));
    cv::Mat ziel(maske.height(), maske.width(), CV_8UC1, maske.bits(), size_t(maske.bytesPerLine()));
    cv::resize(klein, ziel, ziel.size(), 0, 0, cv::INTER_LINEAR);
    return maske;
}

} // namespace

QFuture<void> isnetVorladen()
{
    return QtConcurrent::run([] {
        GeladenesNetz& netz = geladenesNetz();
        const std::scoped_lock lock(netz.mutex);
        (void)netzFuer(netz, freistellModellPfad());
    });
}

std::expected<QImage, Error> isnetMaske(const QImage& bitmap)
{
    if (bitmap.isNull())
        return std::unexpected(freistellFehler(kFreistellenFehlgeschlagen, QStringLiteral("leeres Bild")));
    try {
        const cv::Mat blob = eingabeBlob(bitmap);
        cv::Mat ausgabe;
        {
            GeladenesNetz& netz = geladenesNetz();
            const std::scoped_lock lock(netz.mutex);
            auto net = netzFuer(netz, freistellModellPfad());
            if (!net)
                return std::unexpected(net.error());
            (*net)->setInput(blob);
            ausgabe = (*net)->forward().clone();
        }
        return maskeAusAusgabe(ausgabe, bitmap.size());
    } catch (const cv::Exception& e) {
        return std::unexpected(freistellFehler(kFreistellenFehlgeschlagen, ausnahmeText(e)));
    } catch (const std::exception& e) {
        return std::unexpected(freistellFehler(kFreistellenFehlgeschlagen, QString::fromLocal8Bit(e.what())));
    }
}

} // namespace lumora
