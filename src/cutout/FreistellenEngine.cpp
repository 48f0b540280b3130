#include "cutout/FreistellenEngine.h"

#include "base/Parallel.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QPainter>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora {

namespace {

// Bilinear sampling positions along one axis when `quelle` samples are stretched to `ziel`:
// pixel centres map onto pixel centres, edges repeat. Weights of the second sample in 1/256.
struct Achse {
    std::vector<int> erster, zweiter, gewicht;
};

Achse achse(int ziel, int quelle)
{
    Achse a;
    a.erster.resize(size_t(ziel));
    a.zweiter.resize(size_t(ziel));
    a.gewicht.resize(size_t(ziel));
    for (int i = 0; i < ziel; ++i) {
        const double x = std::clamp((i + 0.5) * quelle / ziel - 0.5, 0.0, double(quelle - 1));
        const int i0 = int(x);
        a.erster[size_t(i)] = i0;
        a.zweiter[size_t(i)] = std::min(i0 + 1, quelle - 1);
        a.gewicht[size_t(i)] = int(std::lround((x - i0) * 256));
    }
    return a;
}

// m·f + (1 − m)·g per premultiplied channel, m = maske / 255, rounded to the nearest code.
inline QRgb mischen(QRgb f, QRgb g, int maske)
{
    const int rest = 255 - maske;
    const auto kanal = [&](int shift) {
        const int wert = maske * int((f >> shift) & 0xFF) + rest * int((g >> shift) & 0xFF);
        return QRgb((wert + 127) / 255) << shift;
    };
    return kanal(24) | kanal(16) | kanal(8) | kanal(0);
}

// The blend of the photo raster over `hinten` (same size), or over the premultiplied constant
// `konstant` when `hinten` is null, through the mask stretched to the photo.
QImage mitMaskeMischen(const QImage& vorne, const QImage& maske, const QImage* hinten, QRgb konstant)
{
    QImage aus(vorne.size(), QImage::Format_ARGB32_Premultiplied);
    if (aus.isNull())
        return aus;
    const Achse ax = achse(vorne.width(), maske.width());
    const Achse ay = achse(vorne.height(), maske.height());
    parallelBands(vorne.height(), 64, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const uchar* m0 = maske.constScanLine(ay.erster[size_t(y)]);
            const uchar* m1 = maske.constScanLine(ay.zweiter[size_t(y)]);
            const int wy = ay.gewicht[size_t(y)];
            const auto* f = reinterpret_cast<const QRgb*>(vorne.constScanLine(y));
            const auto* g = hinten ? reinterpret_cast<const QRgb*>(hinten->constScanLine(y)) : nullptr;
            auto* o = reinterpret_cast<QRgb*>(aus.scanLine(y));
            for (int x = 0; x < vorne.width(); ++x) {
                const size_t i0 = size_t(ax.erster[size_t(x)]), i1 = size_t(ax.zweiter[size_t(x)]);
                const int wx = ax.gewicht[size_t(x)];
                const int oben = m0[i0] * (256 - wx) + m0[i1] * wx;
                const int unten = m1[i0] * (256 - wx) + m1[i1] * wx;
                const int m = (oben * (256 - wy) + unten * wy + 32768) >> 16;
                o[x] = mischen(f[x], g ? g[x] : konstant, m);
            }
        }
    });
    return aus;
}

// fotoEinpassen into a raster of `groesse` pixels covering `ziel`.
QImage eingepasst(const Image& hintergrund, QRectF ziel, QSize groesse)
{
    QImage aus(groesse, QImage::Format_ARGB32_Premultiplied);
    if (aus.isNull())
        return aus;
    aus.fill(Qt::transparent);
    if (hintergrund.isNull() || ziel.isEmpty())
        return aus;
    const QRectF quelle = hintergrund.extent;
    const double s = std::max(ziel.width() / quelle.width(), ziel.height() / quelle.height());
    // From extent units to raster pixels of the result.
    const double fx = groesse.width() / ziel.width(), fy = groesse.height() / ziel.height();
    const QSizeF skaliert(s * quelle.width() * fx, s * quelle.height() * fy);
    const QRectF rechteck(0.5 * (groesse.width() - skaliert.width()), 0.5 * (groesse.height() - skaliert.height()),
                          skaliert.width(), skaliert.height());
    QImage bild = hintergrund.raster;
    // Bilinear sampling alone skips pixels when shrinking by more than half.
    if (bild.width() > 2 * skaliert.width() || bild.height() > 2 * skaliert.height())
        bild = bild.scaled(int(std::ceil(skaliert.width())), int(std::ceil(skaliert.height())), Qt::IgnoreAspectRatio,
                           Qt::SmoothTransformation);
    QPainter painter(&aus);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(rechteck, bild);
    return aus;
}

QImage alsPremultiplied(const QImage& bild)
{
    return bild.format() == QImage::Format_ARGB32_Premultiplied ? bild
                                                                 : bild.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage alsGrau(const QImage& bild)
{
    return bild.format() == QImage::Format_Grayscale8 ? bild : bild.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace

FreistellenEngine::FreistellenEngine()
    : FreistellenEngine(Segmentierung(&isnetMaske))
{
}

FreistellenEngine::FreistellenEngine(Segmentierung segmentierung)
    : m_segmentierung(std::move(segmentierung))
{
}

void FreistellenEngine::maskeErzeugen(QImage bitmap, QObject* context, std::function<void(MaskenErgebnis)> fertig) const
{
    Q_ASSERT(context);
    // The watcher lives on the context's thread and dies with it, so a result that arrives
    // after the context is gone is dropped instead of delivered to a dead object.
    auto* waechter = new QFutureWatcher<MaskenErgebnis>(context);
    QObject::connect(waechter, &QFutureWatcherBase::finished, waechter, [waechter, fertig = std::move(fertig)] {
        waechter->deleteLater();
        fertig(waechter->result());
    });
    waechter->setFuture(
        QtConcurrent::run([engine = *this, bitmap = std::move(bitmap)] { return engine.maskeErzeugenSync(bitmap); }));
}

FreistellenEngine::MaskenErgebnis FreistellenEngine::maskeErzeugenSync(const QImage& bitmap) const
{
    MaskenErgebnis maske = m_segmentierung
                               ? m_segmentierung(bitmap)
                               : std::unexpected(freistellFehler(kFreistellenFehlgeschlagen, QStringLiteral("keine Segmentierung")));
    if (maske && maske->isNull())
        maske = std::unexpected(freistellFehler(kFreistellenFehlgeschlagen, QStringLiteral("leere Maske")));
    if (!maske) {
        qWarning().noquote() << QStringLiteral("FreistellenEngine: Vision-Fehler – ") + maske.error().description;
        return maske;
    }
    if (!zeigtMotiv(*maske))
        return std::unexpected(freistellFehler(kFreistellenKeinMotiv));
    return maske;
}

bool FreistellenEngine::zeigtMotiv(const QImage& maske)
{
    if (maske.isNull())
        return false;
    const QImage grau = alsGrau(maske);
    int groesster = 0;
    qint64 darueber = 0;
    for (int y = 0; y < grau.height(); ++y) {
        const uchar* zeile = grau.constScanLine(y);
        for (int x = 0; x < grau.width(); ++x) {
            groesster = std::max(groesster, int(zeile[x]));
            darueber += zeile[x] >= 128; // above 0.5: 128 / 255 ≈ 0.502
        }
    }
    const qint64 pixel = qint64(grau.width()) * grau.height();
    return groesster >= 128 && darueber * 200 >= pixel;
}

std::optional<Image> FreistellenEngine::hintergrundErsetzen(const Image& foto, const QImage& maske,
                                                            std::optional<QColor> farbe,
                                                            const std::optional<Image>& hintergrundFoto)
{
    if (foto.isNull() || maske.isNull())
        return std::nullopt;
    const QImage vorne = alsPremultiplied(foto.raster);
    const QImage grau = alsGrau(maske);
    QImage aus;
    if (hintergrundFoto && !hintergrundFoto->isNull()) {
        const QImage hinten = eingepasst(*hintergrundFoto, foto.extent, vorne.size());
        aus = mitMaskeMischen(vorne, grau, &hinten, 0);
    } else if (farbe) {
        const QColor gueltig = farbe->isValid() ? *farbe : QColor(Qt::white);
        aus = mitMaskeMischen(vorne, grau, nullptr, qPremultiply(gueltig.rgba()));
    } else {
        aus = mitMaskeMischen(vorne, grau, nullptr, 0);
    }
    if (aus.isNull())
        return std::nullopt;
    return Image{std::move(aus), foto.extent};
}

Image FreistellenEngine::fotoEinpassen(const Image& hintergrundFoto, QRectF ziel)
{
    const QSize groesse = Image{{}, ziel}.fullPixelSize();
    return Image{eingepasst(hintergrundFoto, ziel, groesse), ziel};
}

} // namespace lumora
