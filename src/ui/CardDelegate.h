#pragma once

#include <QCache>
#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QString>

class QPainter;

namespace lumora {

/// What one card shows.
struct CardContent {
    QImage thumbnail;    ///< the photo's small render; null: placeholder
    QString fileName;    ///< last path component of the photo's file
    qint64 key = 0;      ///< identifies the card (cache key of scaled pictures)
    double selected = 0; ///< 0 not selected … 1 selected (in between while animating)
};

/// Paints the grid's cards: a white rounded card with a faint shadow around the picture,
/// the file name over the picture's bottom edge, and for a selected card an accent border,
/// an accent glow and a 1.02 scale. The picture is the photo's thumbnail scaled once to the
/// card's size and kept with its rounded corners in a cache, so scrolling only blits; the
/// shadows are nine-patch pixmaps made once.
class CardDelegate {
public:
    CardDelegate();

    /// Paints a card into `card` (logical pixels) at device pixel ratio `dpr`.
    void paint(QPainter& painter, const QRectF& card, const CardContent& content, qreal dpr);
    /// Forgets every scaled picture (after the card width changed a lot, say).
    void clearCache() { m_pictures.clear(); }

private:
    [[nodiscard]] const QPixmap* picture(const CardContent& content, QSize logical, qreal dpr);
    void paintName(QPainter& painter, const QRectF& picture, const QString& name);

    QCache<QString, QPixmap> m_pictures; ///< cost in KiB
};

} // namespace lumora
