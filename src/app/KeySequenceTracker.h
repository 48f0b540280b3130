#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <functional>

namespace lumora {

/// Follows the hidden key sequence (`EasterEggKeyTracker`): Shift+Ctrl with each key of
/// `reihenfolge()` in turn, less than two seconds apart once the second key has matched.
///
/// The two-second timer is kept as a deadline: when a key arrives or the index is read after
/// the deadline, the index is back at 0, exactly as if a one-shot timer had reset it. The
/// clock is injectable so tests step time instead of waiting. The composition root owns the
/// application's one tracker. UI thread only.
class KeySequenceTracker {
public:
    /// Milliseconds on a monotonic clock.
    using Clock = std::function<qint64()>;
    static constexpr qint64 kTimeoutMs = 2000;

    explicit KeySequenceTracker(Clock clock = {});

    /// The 20 lower-case key strings of the sequence, built from 14 distinct letters. Letters
    /// only (so no keyboard layout changes them under Shift), and none that Shift+Ctrl already
    /// means something for here (a, e, j) or that input methods take (u).
    [[nodiscard]] static const QStringList& reihenfolge();
    /// Whether `key` occurs in the sequence at all (others are ignored without a reset).
    [[nodiscard]] static bool isSequenceKey(const QString& key);

    /// How many keys of the sequence have been matched.
    [[nodiscard]] int aktuellerIndex() const;

    /// One key of the sequence's alphabet. Returns true when this key completed the sequence;
    /// the index is then back at 0.
    bool press(const QString& key);

private:
    void expire() const;

    Clock m_clock;
    mutable int m_index = 0;
    mutable qint64 m_deadline = -1; ///< pending time-out, −1 when none
};

} // namespace lumora
