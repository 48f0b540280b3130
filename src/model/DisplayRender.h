#pragma once

#include "model/PhotoItem.h"

#include <QImage>
#include <optional>

namespace lumora {

/// Long side, in pixels, of the renders kept for display (grid, editor, sheets).
inline constexpr int kDisplayRenderSide = 1600;
/// Long side of a photo's card thumbnail.
inline constexpr int kThumbnailRenderSide = 384;
/// Long side of the base a card is rendered from at once after an edit: about a card's size,
/// so a slider step renders every card on screen within a frame.
inline constexpr int kCardBaseSide = 256;

/// The render scale that makes an original of `size` at most `maxSide` on its long side.
[[nodiscard]] double displayScale(QSize size, int maxSide);

/// Renders a photo record at display size: image, preview and thumbnail. Thread-safe.
struct DisplayRender {
    Image image;
    Preview preview;
    QImage thumbnail;
};
[[nodiscard]] std::optional<DisplayRender> renderForDisplay(const SourceImage& original, const EditState& edits,
                                                            int maxSide = kDisplayRenderSide);

/// A small copy of a render for the grid's cards (long side at most `side`).
[[nodiscard]] QImage thumbnailOf(const QImage& image, int side = kThumbnailRenderSide);

/// Stores a display render in the photo, with what it was rendered from.
void applyRender(PhotoItem& photo, const DisplayRender& render);

/// Whether the photo's preview already shows its current original and edit state.
[[nodiscard]] bool previewIsCurrent(const PhotoItem& photo);

/// The photo's display render when it was rendered from its current original with exactly
/// `edits` (which may differ from the photo's own: its edits without the text marks, say), so
/// that it need not be rendered again; nullopt otherwise.
[[nodiscard]] std::optional<Image> displayRenderOf(const PhotoItem& photo, const EditState& edits);

} // namespace lumora
