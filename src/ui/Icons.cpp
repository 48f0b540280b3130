#include "ui/Icons.h"

#include "ui/Theme.h"

#include <QFile>
#include <QHash>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

namespace lumora::icons {

namespace {

struct Entry {
    const char* symbol;
    const char* themeName; ///< the freedesktop icon with the same meaning
};

// One table for every symbol the window uses; each has an SVG of ours under icons/.
constexpr Entry kTable[] = {
    {"folder.badge.plus", "folder-new"},
    {"photo", "image-x-generic"},
    {"photo.fill", "image-x-generic"},
    {"photo.fill.on.rectangle.fill", "image-x-generic"},
    {"trash", "user-trash"},
    {"arrow.uturn.backward", "edit-undo"},
    {"tray.and.arrow.down", "document-save"},
    {"checkmark.circle", "object-select"},
    {"checkmark.circle.fill", "object-select"},
    {"eject.fill", "media-eject"},
    {"rotate.left", "object-rotate-left"},
    {"rotate.right", "object-rotate-right"},
    {"arrow.left.and.right.righttriangle.left.righttriangle.right", "object-flip-horizontal"},
    {"arrow.up.and.down.righttriangle.up.righttriangle.down", "object-flip-vertical"},
    {"pencil.and.outline", "document-edit"},
    {"drop.halffull", "format-fill-color"},
    {"magnifyingglass", "edit-find"},
    {"magnifyingglass.circle", "zoom-in"},
    {"info.circle", "help-about"},
    {"slider.horizontal.3", "preferences-system"},
    {"sun.max", "display-brightness"},
    {"circle.lefthalf.filled", "weather-clear-night"},
    {"circle.righthalf.filled", "contrast"},
    {"drop", "color-select"},
    {"sparkles", "starred"},
    {"arrow.counterclockwise", "edit-undo"},
    {"camera.aperture", "camera-photo"},
    {"tag", "tag"},
    {"tag.fill", "tag"},
    {"crop", "transform-crop"},
    {"arrow.up.arrow.down", "view-sort"},
    {"person.fill", "avatar-default"},
    {"c.circle", "help-about"},
    // the editor's toolbar and panels
    {"pencil", "draw-freehand"},
    {"paintbrush.fill", "draw-brush"},
    {"arrow.up.right", "draw-arrow"},
    {"textformat", "draw-text"},
    {"rectangle.dashed", "select-rectangular"},
    {"lineweight", "format-stroke-width"},
    {"textformat.size", "format-font-size-more"},
    {"rectangle.fill", "draw-rectangle"},
    {"xmark.circle", "dialog-cancel"},
};

const Entry* find(const QString& symbol)
{
    for (const Entry& entry : kTable) {
        if (symbol == QLatin1String(entry.symbol))
            return &entry;
    }
    return nullptr;
}

QImage drawSymbol(const QString& symbol, QSize size)
{
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    const QString resource = resourceOf(symbol);
    if (!resource.isEmpty()) {
        QSvgRenderer svg(resource);
        svg.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    } else if (const Entry* entry = find(symbol)) {
        QIcon::fromTheme(QString::fromLatin1(entry->themeName)).paint(&painter, QRect(QPoint(0, 0), size));
    }
    return image;
}

/// The drawings are black on transparent, with white for cut-outs (the tick in a filled
/// circle): darkness becomes coverage in `color`, white becomes a hole.
QImage tinted(const QImage& drawing, const QColor& color)
{
    QImage out(drawing.size(), QImage::Format_ARGB32_Premultiplied);
    const QRgb target = color.rgba();
    for (int y = 0; y < drawing.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(drawing.constScanLine(y));
        auto* row = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < drawing.width(); ++x) {
            const int coverage = qMax(0, qAlpha(in[x]) - qGreen(in[x])) * qAlpha(target) / 255;
            row[x] = qRgba(qRed(target) * coverage / 255, qGreen(target) * coverage / 255,
                           qBlue(target) * coverage / 255, coverage);
        }
    }
    return out;
}

} // namespace

QString resourceOf(const QString& symbol)
{
    const QString path = QStringLiteral(":/icons/%1.svg").arg(symbol);
    return QFile::exists(path) ? path : QString();
}

QString themeNameOf(const QString& symbol)
{
    const Entry* entry = find(symbol);
    return entry ? QString::fromLatin1(entry->themeName) : QString();
}

QStringList symbols()
{
    QStringList names;
    for (const Entry& entry : kTable)
        names.append(QString::fromLatin1(entry.symbol));
    return names;
}

QPixmap pixmap(const QString& symbol, int side, const QColor& color, qreal dpr)
{
    const QString key = QStringLiteral("lumora-symbol:%1:%2:%3:%4").arg(symbol).arg(side).arg(color.rgba()).arg(dpr);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    const int device = qMax(1, qRound(side * dpr));
    cached = QPixmap::fromImage(tinted(drawSymbol(symbol, QSize(device, device)), color));
    cached.setDevicePixelRatio(dpr);
    QPixmapCache::insert(key, cached);
    return cached;
}

QIcon icon(const QString& symbol)
{
    QIcon result;
    for (int side : {16, 24, 32}) {
        result.addPixmap(pixmap(symbol, side, theme::text), QIcon::Normal);
        result.addPixmap(pixmap(symbol, side, theme::textMuted), QIcon::Disabled);
        result.addPixmap(pixmap(symbol, side, theme::accent), QIcon::Active);
    }
    return result;
}

} // namespace lumora::icons
