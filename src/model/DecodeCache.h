#pragma once

#include "pipeline/SourceImage.h"

#include <QImage>
#include <QList>
#include <condition_variable>
#include <mutex>

namespace lumora {

/// Originals decoded at display size, most recently used first, so renders after an edit do
/// not decode the file again. Shared between the UI thread and background renders: every
/// member is thread-safe. The capacity follows the number of loaded photos, so a slider step on
/// a large selection renders each photo from its kept decode instead of decoding every
/// original again at each step.
class DecodeCache {
public:
    explicit DecodeCache(qsizetype capacity, int maxSide) : m_capacity(capacity), m_maxSide(maxSide) {}

    /// The original decoded with its long side at most maxSide; null when it cannot be decoded.
    /// Decodes outside the lock, so two threads asking for different photos do not wait on
    /// each other; a thread asking for a photo another thread is decoding waits for that decode.
    [[nodiscard]] QImage displayBase(const SourceImage& original);
    /// Keeps at most `capacity` decodes (never fewer than 1), dropping the oldest.
    void setCapacity(qsizetype capacity);
    /// Decodes made so far (each miss decodes once).
    [[nodiscard]] qint64 decodes() const;

private:
    struct Entry {
        SourceImage original; // kept, so its identity cannot be reused while cached
        QImage base;
    };
    void trim();

    mutable std::mutex m_mutex;
    std::condition_variable m_decoded; ///< a decode in flight ended
    QList<Entry> m_entries;
    QList<SourceImage> m_inFlight;
    qsizetype m_capacity;
    const int m_maxSide;
    qint64 m_decodes = 0;
};

} // namespace lumora
