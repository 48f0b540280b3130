#pragma once

#include <functional>

namespace lumora {

/// Splits [0, count) into contiguous bands, one per core (at least `minBand` items each), and
/// runs `work(begin, end)` for each band in parallel; the calling thread takes the last band.
/// Returns when all bands are done. `work` must be safe to run concurrently on disjoint bands.
void parallelBands(int count, int minBand, const std::function<void(int begin, int end)>& work);

} // namespace lumora
