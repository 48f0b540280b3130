#pragma once

#include <functional>

namespace lumora {

/// Splits [0, count) into contiguous bands, `bandsPerCore` per core (at least `minBand` items
/// each), and runs `work(begin, end)` for each band in parallel: the calling thread and its
/// helpers each take the next band left as they get free, so that a core shared with other
/// work does fewer of them (more bands per core balance better, where the work of a band's
/// edges is not done twice). Returns when all bands are done. `work` must be safe to run
/// concurrently on disjoint bands.
/// The helpers are threads of the calling thread, started by its first call (with its priority
/// at that time) and kept until it ends; a band that calls this again runs all of its own bands
/// itself. Inside a SerialBands scope, runs every band on the calling thread instead.
void parallelBands(int count, int minBand, const std::function<void(int begin, int end)>& work,
                   int bandsPerCore = 1);

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
