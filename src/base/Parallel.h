#pragma once

#include <functional>

namespace lumora {

/// Splits [0, count) into contiguous bands, one per core (at least `minBand` items each), and
/// runs `work(begin, end)` for each band in parallel; the calling thread takes the last band.
/// Returns when all bands are done. `work` must be safe to run concurrently on disjoint bands.
/// Inside a SerialBands scope, runs every band on the calling thread instead.
void parallelBands(int count, int minBand, const std::function<void(int begin, int end)>& work);

/// Raises the calling thread's niceness by `steps` (at most to 19); threads it starts later
/// inherit it. Lowering a priority needs no privilege; the thread cannot raise it back.
void lowerThreadPriority(int steps);

/// While it lives, parallelBands on this thread runs serially. For small work on the UI thread:
/// starting band threads and joining them would make it wait for threads that compete with the
/// background work for the cores.
class SerialBands {
public:
    SerialBands();
    ~SerialBands();
    SerialBands(const SerialBands&) = delete;
    SerialBands& operator=(const SerialBands&) = delete;

private:
    bool m_was;
};

} // namespace lumora
