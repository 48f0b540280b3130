#pragma once

#include <QImage>

namespace lumora {

/// How refineMask follows the photo: the grid its guided filter works on, the window radius and
/// the regularisation.
struct EdgeRefinementParams {
    /// Long side of the grid the mask's detail comes from; 0: the mask's own long side. A mask
    /// that was already stretched (isnetMask stretches the model's 768 px output to the
    /// bitmap) names the model's input size here. The filter's coefficients are computed on
    /// the photo reduced to this grid, where photo and mask carry the same detail.
    int maskDetailSide = 0;
    /// Radius of the filter window in cells of that grid.
    int radius = 1;
    /// Regularisation on luminance in 0…1: edges with less contrast than about sqrt(eps) are
    /// smoothed like the mask, stronger edges are followed.
    double eps = 1e-4;
    /// Values within this distance of 0 or 1 become 0 or 1 (the rest is stretched linearly):
    /// the filter leaves faint traces of the background's texture around the subject, which a
    /// composite would show as a halo of the old background.
    double tailCut = 0.04;
};

/// A soft foreground mask at the photo's full resolution whose edges follow the photo's own
/// edges (guided upsampling): on the mask's detail grid, a guided filter fits the mask
/// locally as a linear function of the photo's luminance reduced to that grid (a cell on an
/// edge holds the same mix in both); those linear functions, stretched to full resolution and
/// applied to the photo's full-resolution luminance, give the mask. Inside uniform areas of
/// the photo the result is the smoothed mask; across strong luminance edges it changes as
/// sharply as the photo does, where the photo has it. Soft transitions of the photo (hair,
/// fur) stay soft. `mask`: any size and format, read as grey, 255 = subject. Returns
/// Format_Grayscale8 of photo.size(); null when either input is null. Pure and thread-safe.
[[nodiscard]] QImage refineMask(const QImage& mask, const QImage& photo, const EdgeRefinementParams& params = {});

/// `mask` stretched bilinearly to `size` (Format_Grayscale8): the plain scaling refineMask
/// improves on.
[[nodiscard]] QImage scaleMask(const QImage& mask, QSize size);

} // namespace lumora
