#include "cutout/FreistellenEngine.h"

#include <QDebug>
#include <QFutureWatcher>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

namespace lumora {

namespace {

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

} // namespace lumora
