#include "pipeline/Blend.h"

#include "pipeline/VectorClones.h"

namespace lumora {

LUMORA_VECTOR_CLONES
void sourceOverRow(quint32* __restrict dst, const quint32* __restrict src, int count)
{
    for (int i = 0; i < count; ++i) {
        const quint32 s = src[i];
        const quint32 d = dst[i];
        const quint32 keep = 255 - (s >> 24);
        quint32 rb = (d & 0xFF00FFu) * keep; // red and blue side by side, 16 bits each
        rb = ((rb + ((rb >> 8) & 0xFF00FFu) + 0x800080u) >> 8) & 0xFF00FFu;
        quint32 ag = ((d >> 8) & 0xFF00FFu) * keep; // alpha and green
        ag = (ag + ((ag >> 8) & 0xFF00FFu) + 0x800080u) & 0xFF00FF00u;
        dst[i] = s + (rb | ag);
    }
}

} // namespace lumora
