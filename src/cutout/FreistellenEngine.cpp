#include "cutout/FreistellenEngine.h"

#include "base/UiThread.h"

#include <QDebug>

#include <algorithm>

namespace lumora {

namespace {

QImage asGray(const QImage& image)
{
    return image.format() == QImage::Format_Grayscale8 ? image : image.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace

FreistellenEngine::FreistellenEngine() : FreistellenEngine(Segmentation(&isnetMask))
{
}

FreistellenEngine::FreistellenEngine(Segmentation segmentation) : m_segmentation(std::move(segmentation))
{
}

void FreistellenEngine::maskeErzeugen(QImage bitmap, QObject* context, std::function<void(MaskResult)> done) const
{
    Q_ASSERT(context);
    // A result that arrives after the context is gone is dropped, never delivered to it.
    runInBackground(
        context, [engine = *this, bitmap = std::move(bitmap)] { return engine.segmentNow(bitmap); }, std::move(done));
}

FreistellenEngine::MaskResult FreistellenEngine::segmentNow(const QImage& bitmap) const
{
    using enum segmentationErrors::Code;
    MaskResult mask = m_segmentation
                          ? m_segmentation(bitmap)
                          : std::unexpected(segmentationError(failed, QStringLiteral("keine Segmentierung")));
    if (mask && mask->isNull())
        mask = std::unexpected(segmentationError(failed, QStringLiteral("leere Maske")));
    if (!mask) {
        qWarning().noquote() << QStringLiteral("FreistellenEngine: Vision-Fehler – ") + mask.error().description;
        return mask;
    }
    if (!showsSubject(*mask))
        return std::unexpected(segmentationError(noSubject));
    return mask;
}

bool FreistellenEngine::showsSubject(const QImage& mask)
{
    if (mask.isNull())
        return false;
    const QImage gray = asGray(mask);
    int largest = 0;
    qint64 above = 0;
    for (int y = 0; y < gray.height(); ++y) {
        const uchar* row = gray.constScanLine(y);
        for (int x = 0; x < gray.width(); ++x) {
            largest = std::max(largest, int(row[x]));
            above += row[x] >= 128; // above 0.5: 128 / 255 ≈ 0.502
        }
    }
    const qint64 pixel = qint64(gray.width()) * gray.height();
    return largest >= 128 && above * 200 >= pixel;
}

} // namespace lumora
