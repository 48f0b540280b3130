#include "ui/CardDelegate.h"

#include "app/GridLayout.h"
#include "base/UiThread.h"
#include "ui/Icons.h"
#include "ui/Theme.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPixmapCache>
#include <QtMath>
#include <cmath>

namespace lumora {

namespace {

constexpr double kCorner = 8;
constexpr double kBodyReach = 16;        ///< how far the shadows reach beyond a card (14, 2 more below)
constexpr double kSelectedGrowth = 0.02; ///< a selected card grows by this share about its centre

/// A blurred rounded rectangle, alpha only, three box passes for a near-Gaussian edge.
QImage blurredRoundedRect(int side, int inset, double corner, double blur)
{
    QImage image(side, side, QImage::Format_Alpha8);
    image.fill(0);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Qt::black);
        painter.drawRoundedRect(QRectF(inset, inset, side - 2 * inset, side - 2 * inset), corner, corner);
    }
    const int r = std::max(1, int(std::round(blur / 2)));
    QList<int> line(side);
    for (int pass = 0; pass < 3; ++pass) {
        for (int horizontal = 0; horizontal < 2; ++horizontal) {
            for (int a = 0; a < side; ++a) {
                for (int b = 0; b < side; ++b)
                    line[b] = horizontal ? image.constScanLine(a)[b] : image.constScanLine(b)[a];
                int sum = 0;
                for (int b = -r; b <= r; ++b)
                    sum += line[std::clamp(b, 0, side - 1)];
                for (int b = 0; b < side; ++b) {
                    const int value = sum / (2 * r + 1);
                    (horizontal ? image.scanLine(a)[b] : image.scanLine(b)[a]) = uchar(value);
                    sum += line[std::min(b + r + 1, side - 1)] - line[std::max(b - r, 0)];
                }
            }
        }
    }
    return image;
}

/// A shadow nine-patch: the rounded rectangle of a card, blurred by `blur`, in `color`.
/// Returns the pixmap and the width of its fixed border.
std::pair<QPixmap, int> shadowPatch(double blur, QColor color)
{
    const int border = int(std::ceil(kCorner + 2 * blur + 2));
    const int side = 2 * border + 2;
    const QString key = QStringLiteral("lumora-shadow:%1:%2").arg(blur).arg(color.rgba());
    QPixmap cached;
    if (!QPixmapCache::find(key, &cached)) {
        const int inset = int(std::ceil(2 * blur + 2));
        const QImage alpha = blurredRoundedRect(side, inset, kCorner, blur);
        QImage tinted(side, side, QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < side; ++y) {
            auto* row = reinterpret_cast<QRgb*>(tinted.scanLine(y));
            for (int x = 0; x < side; ++x) {
                const int a = alpha.constScanLine(y)[x];
                row[x] = qRgba(color.red() * a / 255, color.green() * a / 255, color.blue() * a / 255, a);
            }
        }
        cached = QPixmap::fromImage(tinted);
        QPixmapCache::insert(key, cached);
    }
    return {cached, border};
}

/// Draws the shadow of `card` (its rounded rectangle grown by the blur) as a nine-patch. The
/// middle patch is left out: it lies inside the card's straight edges, under the opaque card
/// painted next, and stretched over the whole card it was the largest blend of a repaint.
void paintShadow(QPainter& painter, const QRectF& card, double blur, QColor color, double opacity)
{
    if (opacity <= 0.001)
        return;
    const auto [patch, border] = shadowPatch(blur, color);
    const int inset = int(std::ceil(2 * blur + 2));
    const QRectF outer = card.adjusted(-inset, -inset, inset, inset).translated(0, 2);
    const double b = border;
    const double w = patch.width();
    const double xs[4] = {outer.left(), outer.left() + b, outer.right() - b, outer.right()};
    const double ys[4] = {outer.top(), outer.top() + b, outer.bottom() - b, outer.bottom()};
    const double us[4] = {0, b, w - b, w};
    painter.save();
    painter.setOpacity(painter.opacity() * opacity);
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            if (row == 1 && col == 1)
                continue;
            const QRectF target(QPointF(xs[col], ys[row]), QPointF(xs[col + 1], ys[row + 1]));
            if (target.width() > 0 && target.height() > 0)
                painter.drawPixmap(target, patch, QRectF(QPointF(us[col], us[row]), QPointF(us[col + 1], us[row + 1])));
        }
    }
    painter.restore();
}

/// The thumbnail scaled to `device` pixels with rounded corners. Thread-safe.
QImage roundedPicture(const QImage& thumbnail, QSize device, qreal dpr)
{
    QImage rounded = thumbnail.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Only the four corners are painted (cleared outside the arc): a fill as tall as the
    // picture would be split over Qt's global pool, which the UI thread's painting needs.
    const double r = kCorner * dpr;
    QPainterPath corner;
    corner.moveTo(0, 0);
    corner.lineTo(r, 0);
    corner.arcTo(QRectF(0, 0, 2 * r, 2 * r), 90, 90);
    corner.closeSubpath();
    QPainter painter(&rounded);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_DestinationOut);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::black);
    const double w = device.width(), h = device.height();
    for (const QTransform& place :
         {QTransform(), QTransform(-1, 0, 0, 1, w, 0), QTransform(1, 0, 0, -1, 0, h), QTransform(-1, 0, 0, -1, w, h)}) {
        painter.setTransform(place);
        painter.drawPath(corner);
    }
    return rounded;
}

} // namespace

CardDelegate::CardDelegate(QObject* context, std::function<void(qint64 key)> prepared)
    : m_context(context), m_prepared(std::move(prepared))
{
    m_pictures.setMaxCost(128 * 1024);
    m_names.setMaxCost(1024);
}

const QPixmap* CardDelegate::picture(const CardContent& content, QSize logical, qreal dpr)
{
    const QString key =
        QStringLiteral("%1:%2x%3@%4").arg(content.key).arg(logical.width()).arg(logical.height()).arg(dpr);
    if (const QPixmap* cached = m_pictures.object(key))
        return cached;
    if (m_preparing.contains(key))
        return nullptr;
    m_preparing.insert(key);
    const QSize device(qMax(1, qRound(logical.width() * dpr)), qMax(1, qRound(logical.height() * dpr)));
    // Resampling runs on the work pool: Qt's smooth scaling splits larger images over Qt's
    // global pool, and the UI thread must never wait for a pool.
    runInBackground(
        m_context, [thumbnail = content.thumbnail, device, dpr] { return roundedPicture(thumbnail, device, dpr); },
        [this, key, dpr, contentKey = content.key](QImage rounded) {
            m_preparing.remove(key);
            auto* pixmap = new QPixmap(QPixmap::fromImage(rounded));
            pixmap->setDevicePixelRatio(dpr);
            const int cost = qMax(1, int(qint64(rounded.width()) * rounded.height() * 4 / 1024));
            m_pictures.insert(key, pixmap, cost);
            if (m_prepared)
                m_prepared(contentKey);
        });
    return nullptr;
}

void CardDelegate::paint(QPainter& painter, const QRectF& card, const CardContent& content, qreal dpr)
{
    const double t = std::clamp(content.selected, 0.0, 1.0);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    const double scale = 1 + kSelectedGrowth * t;
    const QPointF centre = card.center();
    paintBody(painter, QRectF(centre + (card.topLeft() - centre) * scale, card.size() * scale), t, dpr);
    if (t > 0) {
        painter.translate(centre);
        painter.scale(scale, scale);
        painter.translate(-centre);
    }
    painter.setPen(Qt::NoPen);
    const QRectF pictureArea = GridLayout::pictureRect(card);
    paintPicture(painter, pictureArea, content, dpr);
    paintName(painter, pictureArea, content.fileName);
    painter.restore();
}

QRectF CardDelegate::paintedArea(const QRectF& card)
{
    const double grow = kBodyReach + kSelectedGrowth / 2 * std::max(card.width(), card.height());
    return card.adjusted(-grow, -grow, grow, grow);
}

void CardDelegate::paintPicture(QPainter& painter, const QRectF& pictureArea, const CardContent& content, qreal dpr)
{
    if (content.thumbnail.isNull()) {
        painter.setBrush(theme::button);
        painter.drawRoundedRect(pictureArea, kCorner, kCorner);
        const int side = 28;
        const QPixmap symbol = icons::pixmap(QStringLiteral("photo"), side, theme::textMuted, dpr);
        painter.drawPixmap(QPointF(pictureArea.center().x() - side / 2.0, pictureArea.center().y() - side / 2.0),
                           symbol);
    } else {
        const QSize logical(qMax(1, qRound(pictureArea.width())), qMax(1, qRound(pictureArea.height())));
        const QRectF target(pictureArea.topLeft(), QSizeF(logical));
        if (const QPixmap* pixmap = picture(content, logical, dpr)) {
            painter.drawPixmap(target, *pixmap, QRectF(pixmap->rect()));
        } else {
            // Until the prepared picture arrives: the thumbnail (at most about card size) drawn
            // unfiltered and square-cornered for a moment. A filtered draw would go through
            // span fills that Qt splits over its global pool; this one is a plain scaled blit.
            painter.save();
            painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
            painter.drawImage(target, content.thumbnail);
            painter.restore();
        }
    }
}

void CardDelegate::paintBody(QPainter& painter, const QRectF& card, double t, qreal dpr)
{
    const auto paintDirectly = [t](QPainter& on, const QRectF& body) {
        paintShadow(on, body, 4, Qt::black, 0.08);
        paintShadow(on, body, 3, Qt::black, 0.3 * (1 - t));
        paintShadow(on, body, 6, theme::accent, 0.35 * t);
        on.setPen(Qt::NoPen);
        on.setBrush(Qt::white);
        on.drawRoundedRect(body, kCorner, kCorner);
        if (t > 0) { // the accent border: the card's rounded rectangle inset by 1, grown with it
            const double s = 1 + kSelectedGrowth * t;
            QColor accent = theme::accent;
            accent.setAlphaF(float(t));
            on.setPen(QPen(accent, 2 * s));
            on.setBrush(Qt::NoBrush);
            on.drawRoundedRect(body.adjusted(s, s, -s, -s), (kCorner - 1) * s, (kCorner - 1) * s);
        }
    };
    if (t > 0 && t < 1) { // the short fade of a selection: sizes change every frame
        paintDirectly(painter, card);
        return;
    }
    // At rest every card of a size looks the same: its shadows, body and border are blended
    // once into a pixmap, and painting them is one unscaled blit instead of two stretched
    // nine-patches with opacity, an antialiased fill and a stroked outline.
    const QSize device(qMax(1, qRound(card.width() * dpr)), qMax(1, qRound(card.height() * dpr)));
    const QString key =
        QStringLiteral("lumora-card:%1x%2:%3:%4").arg(device.width()).arg(device.height()).arg(t).arg(dpr);
    QPixmap body;
    if (!QPixmapCache::find(key, &body)) {
        const QSizeF logical = QSizeF(device) / dpr;
        QImage image(
            QSize(qCeil((logical.width() + 2 * kBodyReach) * dpr), qCeil((logical.height() + 2 * kBodyReach) * dpr)),
            QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        image.setDevicePixelRatio(dpr);
        QPainter on(&image);
        on.setRenderHint(QPainter::Antialiasing);
        paintDirectly(on, QRectF(QPointF(kBodyReach, kBodyReach), logical));
        on.end();
        body = QPixmap::fromImage(image);
        QPixmapCache::insert(key, body);
    }
    // At a whole device pixel, so the blit is a plain copy with blending.
    const QPointF at = card.topLeft() - QPointF(kBodyReach, kBodyReach);
    painter.drawPixmap(QPointF(std::round(at.x() * dpr) / dpr, std::round(at.y() * dpr) / dpr), body);
}

void CardDelegate::paintName(QPainter& painter, const QRectF& picture, const QString& name)
{
    const double width = picture.width() - 16;
    if (width <= 0)
        return;
    QFont font = painter.font();
    font.setPixelSize(9);
    font.setWeight(QFont::Medium);
    painter.setFont(font);
    // Eliding and shaping a name took a sixth of a repaint: the laid-out line is kept per name
    // and width, and drawing it only places cached glyphs.
    const QString key = QString::number(width) + QLatin1Char(':') + name;
    NameLine* line = m_names.object(key);
    if (!line) {
        const QFontMetricsF metrics(font);
        line = new NameLine{QStaticText(metrics.elidedText(name, Qt::ElideMiddle, width)), metrics.height()};
        line->text.setTextFormat(Qt::PlainText);
        line->text.prepare(painter.transform(), font);
        m_names.insert(key, line);
    }
    painter.setPen(QColor(255, 255, 255, int(0.75 * 255)));
    painter.drawStaticText(QPointF(picture.left() + 8, picture.bottom() - 5 - line->height), line->text);
}

} // namespace lumora
