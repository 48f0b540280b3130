#include "model/PhotoItem.h"

namespace lumora {

PhotoSnapshot snapshotOf(const PhotoItem& photo, int index)
{
    return PhotoSnapshot{index,          photo.id,       photo.originalCI, photo.adjustment,
                         photo.rotation, photo.flippedH, photo.flippedV,   photo.watermark,
                         photo.masks,    photo.freehandOverlays, photo.textMarks};
}

} // namespace lumora
