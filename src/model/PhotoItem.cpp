#include "model/PhotoItem.h"

namespace lumora {

PhotoSnapshot snapshotOf(const PhotoItem& photo, int index)
{
    return PhotoSnapshot{index, photo.id, photo.url, photo.originalCI, photo.edits, photo.loadedFrom};
}

QList<Arrow> PhotoItem::arrows() const
{
    QList<Arrow> list;
    for (const Overlay& overlay : edits.freehandOverlays) {
        if (const auto* arrow = std::get_if<Arrow>(&overlay.shape))
            list.append(*arrow);
    }
    return list;
}

} // namespace lumora
