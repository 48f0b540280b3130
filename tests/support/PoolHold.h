#pragma once

#include "base/UiThread.h"

#include <future>

namespace lumora::test {

/// Keeps every thread of the work pool busy until let go (at the latest when it ends): jobs
/// started meanwhile wait.
class PoolHold {
public:
    PoolHold()
    {
        for (int i = 0; i < workPool().maxThreadCount(); ++i)
            workPool().start([gate = m_gate] { gate.wait(); });
    }
    ~PoolHold() { let(); }
    PoolHold(const PoolHold&) = delete;
    PoolHold& operator=(const PoolHold&) = delete;
    void let()
    {
        if (!m_let)
            m_release.set_value();
        m_let = true;
    }

private:
    std::promise<void> m_release;
    std::shared_future<void> m_gate = m_release.get_future().share();
    bool m_let = false;
};

} // namespace lumora::test
