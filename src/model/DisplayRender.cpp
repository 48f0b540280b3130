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

QImage thumbnailOf(const QImage& image, int side)
{
    if (image.width() <= side && image.height() <= side)
        return image;
    return image.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
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

} // namespace lumora
