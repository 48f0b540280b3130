#include "app/magnifier/LupenBildModell.h"

#include <QPointer>

namespace lumora {

namespace {

QSize fullSize(const QImage& image, QSize pixelSize)
{
    return pixelSize.isEmpty() ? image.size() : pixelSize.expandedTo(image.size());
}

} // namespace

LupenBildModell::LupenBildModell(QImage image, QSize pixelSize, QObject* parent)
    : QObject(parent), m_bild(std::move(image)), m_pixelSize(fullSize(m_bild, pixelSize))
{
}

void LupenBildModell::setBild(QImage image, QSize pixelSize)
{
    m_bild = std::move(image);
    m_pixelSize = fullSize(m_bild, pixelSize);
    m_fullImage.reset();
    m_fullImageRequested = false;
    ++m_generation;
    Q_EMIT imageChanged();
}

QImage LupenBildModell::rasterFor(QSizeF devicePixels)
{
    // Half a pixel of slack: the display size is fractional, the raster is not.
    const bool imageSuffices =
        m_bild.width() + 0.5 >= devicePixels.width() && m_bild.height() + 0.5 >= devicePixels.height();
    const bool imageIsFull = m_bild.size() == m_pixelSize;
    if (imageSuffices || imageIsFull)
        return m_bild;
    if (!m_fullImageRequested && m_source) {
        m_fullImageRequested = true;
        ++m_requests;
        m_source([model = QPointer(this), generation = m_generation](std::optional<QImage> full) {
            if (!model || model->m_generation != generation || !full || full->isNull())
                return;
            model->m_fullImage = std::move(full);
            Q_EMIT model->rasterChanged();
        });
    }
    return m_fullImage ? *m_fullImage : m_bild;
}

} // namespace lumora
