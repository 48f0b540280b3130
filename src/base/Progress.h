#pragma once

#include "base/Error.h"
#include "base/UiThread.h"

#include <QList>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace lumora {

/// The user's wish to stop a running save, export or deletion. Shared between the UI thread,
/// which resets and cancels it, and the worker, which reads it before each photo.
class CancelToken {
public:
    void reset() { m_cancelled.store(false); }
    void cancel() { m_cancelled.store(true); }
    [[nodiscard]] bool isCancelled() const { return m_cancelled.load(); }

private:
    std::atomic<bool> m_cancelled{false};
};

/// How a progress stream ended. A cancelled run ends without error but says so, with the
/// number of photos finished before it stopped.
struct StreamEnd {
    std::optional<Error> error;
    bool cancelled = false;
    int done = 0;
    int total = 0;
};

/// Fractions done/total from a worker to the UI thread, in order and none dropped, then exactly
/// one end. The producer may run on any thread; the consumer's callbacks run on the UI thread,
/// through a UiChannel, and only while the context given to subscribe() exists (a window closed
/// while values are queued gets none of them). Values produced before subscribing are kept.
class ProgressStream : public std::enable_shared_from_this<ProgressStream> {
public:
    static std::shared_ptr<ProgressStream> create() { return std::shared_ptr<ProgressStream>(new ProgressStream); }

    // Producer side.
    void yield(double fraction);
    void finish(StreamEnd end);

    // Consumer side: call once, on the UI thread.
    void subscribe(QObject* context, std::function<void(double)> onValue, std::function<void(const StreamEnd&)> onEnd);

    /// Blocks until the stream ended (for tools and tests that own no event loop of their
    /// own on the producer's path); `values` receives every value in order. Not on a thread
    /// whose event loop the producer needs.
    StreamEnd wait(QList<double>* values = nullptr);

private:
    ProgressStream() = default;
    void deliver();
    void scheduleDelivery();

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<double> m_values;
    std::optional<StreamEnd> m_end;
    bool m_endDelivered = false;
    QList<double> m_history;
    std::optional<UiChannel> m_channel;
    bool m_subscribed = false;
    bool m_deliveryPending = false;
    std::function<void(double)> m_onValue;
    std::function<void(const StreamEnd&)> m_onEnd;
};

using ProgressStreamPtr = std::shared_ptr<ProgressStream>;

} // namespace lumora
