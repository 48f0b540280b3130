#include "pipeline/Compositing.h"

#include "base/Parallel.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <vector>

namespace lumora {

namespace {

// Bilinear sampling positions along one axis when `source` samples are stretched to `target`:
// pixel centres map onto pixel centres, edges repeat. Weights of the second sample in 1/256.
struct Axis {
    std::vector<int> first, second, weight;
};

Axis axis(int target, int source)
{
    Axis a;
    a.first.resize(size_t(target));
    a.second.resize(size_t(target));
    a.weight.resize(size_t(target));
    for (int i = 0; i < target; ++i) {
        const double x = std::clamp((i + 0.5) * source / target - 0.5, 0.0, double(source - 1));
        const int i0 = int(x);
        a.first[size_t(i)] = i0;
        a.second[size_t(i)] = std::min(i0 + 1, source - 1);
        a.weight[size_t(i)] = int(std::lround((x - i0) * 256));
    }
    return a;
}

// m·f + (1 − m)·g per premultiplied channel, m = mask / 255, rounded to the nearest code.
inline QRgb blend(QRgb f, QRgb g, int mask)
{
    const int rest = 255 - mask;
    const auto channel = [&](int shift) {
        const int value = mask * int((f >> shift) & 0xFF) + rest * int((g >> shift) & 0xFF);
        return QRgb((value + 127) / 255) << shift;
    };
    return channel(24) | channel(16) | channel(8) | channel(0);
}

// The blend of the photo raster over `back` (same size), or over the premultiplied constant
// `constant` when `back` is null, through the mask stretched to the photo.
QImage blendThroughMask(const QImage& front, const QImage& mask, const QImage* back, QRgb constant)
{
    QImage out(front.size(), QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return out;
    const Axis ax = axis(front.width(), mask.width());
    const Axis ay = axis(front.height(), mask.height());
    parallelBands(front.height(), 64, [&](int begin, int end) {
        for (int y = begin; y < end; ++y) {
            const uchar* m0 = mask.constScanLine(ay.first[size_t(y)]);
            const uchar* m1 = mask.constScanLine(ay.second[size_t(y)]);
            const int wy = ay.weight[size_t(y)];
            const auto* f = reinterpret_cast<const QRgb*>(front.constScanLine(y));
            const auto* g = back ? reinterpret_cast<const QRgb*>(back->constScanLine(y)) : nullptr;
            auto* o = reinterpret_cast<QRgb*>(out.scanLine(y));
            for (int x = 0; x < front.width(); ++x) {
                const size_t i0 = size_t(ax.first[size_t(x)]), i1 = size_t(ax.second[size_t(x)]);
                const int wx = ax.weight[size_t(x)];
                const int top = m0[i0] * (256 - wx) + m0[i1] * wx;
                const int bottom = m1[i0] * (256 - wx) + m1[i1] * wx;
                const int m = (top * (256 - wy) + bottom * wy + 32768) >> 16;
                o[x] = blend(f[x], g ? g[x] : constant, m);
            }
        }
    });
    return out;
}

// fotoEinpassen into a raster of `size` pixels covering `target`.
QImage fitted(const Image& background, QRectF target, QSize size)
{
    QImage out(size, QImage::Format_ARGB32_Premultiplied);
    if (out.isNull())
        return out;
    out.fill(Qt::transparent);
    if (background.isNull() || target.isEmpty())
        return out;
    const QRectF source = background.extent;
    const double s = std::max(target.width() / source.width(), target.height() / source.height());
    // From extent units to raster pixels of the result.
    const double fx = size.width() / target.width(), fy = size.height() / target.height();
    const QSizeF scaled(s * source.width() * fx, s * source.height() * fy);
    const QRectF placed(0.5 * (size.width() - scaled.width()), 0.5 * (size.height() - scaled.height()), scaled.width(),
                        scaled.height());
    QImage raster = background.raster;
    // Bilinear sampling alone skips pixels when shrinking by more than half.
    if (raster.width() > 2 * scaled.width() || raster.height() > 2 * scaled.height())
        raster = raster.scaled(int(std::ceil(scaled.width())), int(std::ceil(scaled.height())), Qt::IgnoreAspectRatio,
                               Qt::SmoothTransformation);
    QPainter painter(&out);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(placed, raster);
    return out;
}

QImage asPremultiplied(const QImage& image)
{
    return image.format() == QImage::Format_ARGB32_Premultiplied
               ? image
               : image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

QImage asGray(const QImage& image)
{
    return image.format() == QImage::Format_Grayscale8 ? image : image.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace

std::optional<Image> hintergrundErsetzen(const Image& photo, const QImage& mask, std::optional<QColor> color,
                                         const std::optional<Image>& backgroundPhoto)
{
    if (photo.isNull() || mask.isNull())
        return std::nullopt;
    const QImage front = asPremultiplied(photo.raster);
    const QImage gray = asGray(mask);
    QImage out;
    if (backgroundPhoto && !backgroundPhoto->isNull()) {
        const QImage back = fitted(*backgroundPhoto, photo.extent, front.size());
        out = blendThroughMask(front, gray, &back, 0);
    } else if (color) {
        const QColor valid = color->isValid() ? *color : QColor(Qt::white);
        out = blendThroughMask(front, gray, nullptr, qPremultiply(valid.rgba()));
    } else {
        out = blendThroughMask(front, gray, nullptr, 0);
    }
    if (out.isNull())
        return std::nullopt;
    return Image{std::move(out), photo.extent};
}

Image fotoEinpassen(const Image& backgroundPhoto, QRectF target)
{
    const QSize size = Image{{}, target}.fullPixelSize();
    return Image{fitted(backgroundPhoto, target, size), target};
}

} // namespace lumora
