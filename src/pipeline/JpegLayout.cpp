#include "pipeline/JpegLayout.h"

namespace lumora {

JpegLayout jpegLayout(QByteArrayView bytes)
{
    JpegLayout layout;
    const auto* b = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    if (n < 4 || b[0] != 0xFF || b[1] != 0xD8)
        return layout;
    qsizetype at = 2;
    while (layout.scanData < 0 && at + 4 <= n && b[at] == 0xFF) { // marker segments up to the scan's header
        const uchar marker = b[at + 1];
        if (marker == 0xC0 || marker == 0xC1)
            layout.frame = at;
        at += 2 + ((qsizetype(b[at + 2]) << 8) | b[at + 3]);
        if (marker == 0xDA && at <= n)
            layout.scanData = at;
    }
    return layout;
}

} // namespace lumora
