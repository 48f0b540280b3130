#pragma once

#include <QCache>
#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QSet>
#include <QStaticText>
#include <QString>
#include <functional>

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
/// an accent glow and a 1.02 scale. The picture is the photo's thumbnail scaled to the card's
/// size with its rounded corners, prepared on the work pool and kept in a cache, so painting
/// only blits; until it arrives the card draws the thumbnail with a plain scaled blit. Nothing
/// here waits for a pool. A card at rest paints its shadows and body as one pixmap made once per size.
class CardDelegate {
public:
    /// `context` receives the prepared pictures (they are dropped once it is gone); `prepared`
    /// runs on the UI thread after each one is in the cache, with its card's key (repaint it).
    CardDelegate(QObject* context, std::function<void(qint64 key)> prepared);

    /// Paints a card into `card` (logical pixels) at device pixel ratio `dpr`.
    void paint(QPainter& painter, const QRectF& card, const CardContent& content, qreal dpr);
    /// Everything painting `card` may touch: its shadows and its growth when selected.
    [[nodiscard]] static QRectF paintedArea(const QRectF& card);
    /// Forgets every scaled picture and laid-out name (after the card width changed a lot, say).
    void clearCache()
    {
        m_pictures.clear();
        m_names.clear();
    }

private:
    /// The prepared picture, or none while it is being prepared (then it is asked for).
    [[nodiscard]] const QPixmap* picture(const CardContent& content, QSize logical, qreal dpr);
    /// The card's shadows and white body for selection amount `t`, `card` already grown by it.
    static void paintBody(QPainter& painter, const QRectF& card, double t, qreal dpr);
    /// The picture (or the placeholder for a photo without one) into `pictureArea`.
    void paintPicture(QPainter& painter, const QRectF& pictureArea, const CardContent& content, qreal dpr);
    void paintName(QPainter& painter, const QRectF& picture, const QString& name);

    QObject* m_context;
    std::function<void(qint64 key)> m_prepared;
    QCache<QString, QPixmap> m_pictures; ///< cost in KiB
    QSet<QString> m_preparing;
    struct NameLine {
        QStaticText text; ///< the elided name, laid out
        double height;    ///< of the font's line
    };
    QCache<QString, NameLine> m_names; ///< by width and name
};

} // namespace lumora
