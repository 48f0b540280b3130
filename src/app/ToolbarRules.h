#pragma once

#include <QKeySequence>
#include <QList>
#include <QString>

namespace lumora {

/// The entries of the toolbar band, in order.
enum class ToolbarEntry {
    open,
    exportJpg,
    exportPng,
    remove,
    restore,
    save,
    selectAll,
    eject,
    rotateLeft,
    rotateRight,
    mirror,
    edit,
    watermark,
    magnifier,
};

/// What an entry shows: title, symbol and shortcuts (the first is the one shown).
struct ToolbarEntryLook {
    ToolbarEntry entry;
    QString title;
    QString symbol;
    QList<QKeySequence> shortcuts;
    bool isMenu = false;
};

/// Everything the enabled rules read.
struct ToolbarInputs {
    qsizetype photoCount = 0;
    qsizetype selectionCount = 0;
    bool canRestore = false;
    bool volumePathStored = false;
    bool allActivated = false;
    /// A save, export or delete is running (the overlay covers the band, and its shortcuts
    /// must not start a second one).
    bool commandRunning = false;
};

namespace toolbar {

/// Every entry in band order; "Alle" in its inactive form.
[[nodiscard]] const QList<ToolbarEntryLook>& entries();
[[nodiscard]] const ToolbarEntryLook& look(ToolbarEntry entry);
/// The group each entry belongs to; a divider stands between groups.
[[nodiscard]] int group(ToolbarEntry entry);

[[nodiscard]] bool isEnabled(ToolbarEntry entry, const ToolbarInputs& in);
/// Only "Alle" has an active form ("Abwählen"), while the toggle is on.
[[nodiscard]] bool isActive(ToolbarEntry entry, const ToolbarInputs& in);
[[nodiscard]] QString title(ToolbarEntry entry, const ToolbarInputs& in);
[[nodiscard]] QString symbol(ToolbarEntry entry, const ToolbarInputs& in);

} // namespace toolbar

/// The scroll state of the toolbar band; the edge fades follow from it.
struct ToolbarUeberlauf {
    double offsetX = 0;
    double contentBreite = 0;
    double sichtbareBreite = 0;

    /// More of the band lies to the left (an offset of exactly 2 does not count yet).
    [[nodiscard]] bool canScrollLeft() const { return offsetX > 2; }
    /// More of the band lies to the right.
    [[nodiscard]] bool canScrollRight() const { return offsetX + sichtbareBreite < contentBreite - 2; }

    friend bool operator==(const ToolbarUeberlauf&, const ToolbarUeberlauf&) = default;
};

} // namespace lumora
