#include "base/Parallel.h"

#include <cerrno>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <QtGlobal>
#include <algorithm>
#include <thread>
#include <utility>
#include <vector>

namespace lumora {

namespace {
thread_local bool t_serial = false;
} // namespace

SerialBands::SerialBands() : m_was(std::exchange(t_serial, true))
{
}

SerialBands::~SerialBands()
{
    t_serial = m_was;
}

void parallelBands(int count, int minBand, const std::function<void(int, int)>& work)
{
    if (count <= 0)
        return;
    if (t_serial) {
        work(0, count);
        return;
    }
    const int cores = int(std::clamp(std::thread::hardware_concurrency(), 1u, 16u));
    const int bands = std::clamp(count / std::max(minBand, 1), 1, cores);
    if (bands == 1) {
        work(0, count);
        return;
    }
    std::vector<std::jthread> threads;
    threads.reserve(size_t(bands - 1));
    const auto bandBegin = [&](int band) { return int(qint64(count) * band / bands); };
    for (int band = 0; band + 1 < bands; ++band)
        threads.emplace_back(work, bandBegin(band), bandBegin(band + 1));
    work(bandBegin(bands - 1), count);
}

void lowerThreadPriority(int steps)
{
    const auto thread = id_t(syscall(SYS_gettid));
    errno = 0;
    const int nice = getpriority(PRIO_PROCESS, thread);
    if (errno == 0)
        setpriority(PRIO_PROCESS, thread, std::min(nice + steps, 19));
}

} // namespace lumora
