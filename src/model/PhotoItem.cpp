#include "model/PhotoItem.h"

namespace lumora {

PhotoSnapshot snapshotOf(const PhotoItem& photo, int index)
{
    return PhotoSnapshot{index, photo.id, photo.url, photo.originalCI, photo.edits, photo.loadedFrom};
}

} // namespace lumora
