#pragma once

#include <QImage>
#include <cstddef>
#include <memory>

namespace lumora {

/// A new, uninitialised Format_ARGB32_Premultiplied raster. Large rasters are backed by
/// transparent huge pages where the kernel offers them: far fewer page faults when the
/// memory is first written and fewer TLB misses in the turned writes of the colour pass.
/// Returns a null image when the memory cannot be had.
[[nodiscard]] QImage newRaster(QSize size);

/// A byte buffer with the same allocation strategy, for encoder staging.
struct HugeFree {
    void operator()(std::byte* p) const;
};
using HugeBuffer = std::unique_ptr<std::byte[], HugeFree>;
[[nodiscard]] HugeBuffer newHugeBuffer(size_t bytes);

} // namespace lumora
