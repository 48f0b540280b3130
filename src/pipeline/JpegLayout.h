#pragma once

#include <QByteArrayView>

namespace lumora {

/// Where the parts of a JPEG's header are, found by walking its marker segments from the start:
/// the frame header (baseline or extended sequential) and the first byte of scan data, after the
/// scan's header. -1 for a part not found before the bytes end or something else than a marker
/// segment is met.
struct JpegLayout {
    qsizetype frame = -1;
    qsizetype scanData = -1;
};

[[nodiscard]] JpegLayout jpegLayout(QByteArrayView bytes);

} // namespace lumora
