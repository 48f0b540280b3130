#include "model/DisplayRender.h"

#include "pipeline/Render.h"

namespace lumora {

double displayScale(QSize size, int maxSide)
{
    const int longSide = std::max(size.width(), size.height());
    return longSide <= maxSide || longSide <= 0 ? 1.0 : double(maxSide) / longSide;
}

std::optional<DisplayRender> renderForDisplay(const SourceImage& original, const EditState& edits, int maxSide)
{
    auto image = renderImage(original, edits, displayScale(original.size(), maxSide));
    if (!image)
        return std::nullopt;
    auto preview = makePreview(*image);
    if (!preview)
        return std::nullopt;
    return DisplayRender{*image, *preview, thumbnailOf(preview->bitmap)};
}

namespace {

/// `image` at half its size, each pixel the mean of a 2 × 2 block (premultiplied, so the mean
/// is exact for alpha too). An odd last row or column is dropped.
QImage halved(const QImage& image)
{
    const QImage source = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage half(source.width() / 2, source.height() / 2, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < half.height(); ++y) {
        const auto* top = reinterpret_cast<const QRgb*>(source.constScanLine(2 * y));
        const auto* bottom = reinterpret_cast<const QRgb*>(source.constScanLine(2 * y + 1));
        auto* out = reinterpret_cast<QRgb*>(half.scanLine(y));
        for (int x = 0; x < half.width(); ++x) {
            const QRgb a = top[2 * x], b = top[2 * x + 1], c = bottom[2 * x], d = bottom[2 * x + 1];
            const auto mean = [&](int shift) {
                return ((((a >> shift) & 0xff) + ((b >> shift) & 0xff) + ((c >> shift) & 0xff) + ((d >> shift) & 0xff)
                         + 2)
                        >> 2)
                       << shift;
            };
            out[x] = mean(24) | mean(16) | mean(8) | mean(0);
        }
    }
    return half;
}

} // namespace

QImage thumbnailOf(const QImage& image, int side)
{
    if (image.width() <= side && image.height() <= side)
        return image;
    // Halving first leaves Qt's smooth scaler a source small enough to do in one piece (under
    // 2^17 pixels): larger ones it splits over Qt's global pool, which the UI thread's painting
    // needs free.
    QImage source = image;
    const auto longSide = [](const QImage& i) { return std::max(i.width(), i.height()); };
    while (qint64(source.width()) * source.height() >= (1 << 17) && longSide(source) / 2 >= side)
        source = halved(source);
    return source.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

void applyRender(PhotoItem& photo, const DisplayRender& render)
{
    photo.filteredCI = render.image;
    photo.preview = render.preview;
    photo.thumbnail = render.thumbnail;
    photo.renderedFrom = std::make_shared<const RenderedFrom>(RenderedFrom{photo.originalCI, photo.edits});
}

/// Whether the photo's preview already shows its current original and edit state.
bool previewIsCurrent(const PhotoItem& photo)
{
    return photo.preview && photo.renderedFrom && photo.renderedFrom->original == photo.originalCI
           && photo.renderedFrom->edits == photo.edits;
}

std::optional<Image> displayRenderOf(const PhotoItem& photo, const EditState& edits)
{
    if (photo.filteredCI && photo.renderedFrom && photo.renderedFrom->original == photo.originalCI
        && photo.renderedFrom->edits == edits)
        return photo.filteredCI;
    return std::nullopt;
}

} // namespace lumora
