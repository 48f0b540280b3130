#pragma once

#include <QtGlobal>

namespace lumora {

/// Blends `count` premultiplied ARGB32 pixels of `src` over `dst` (source over), rounding as
/// QPainter does: dst = src + dst·(255 − αsrc) / 255, each division by 255 taken as
/// (t + t/256 + 128) / 256 per channel. So pixels blended here and by a painter are the same bytes.
void sourceOverRow(quint32* dst, const quint32* src, int count);

} // namespace lumora
