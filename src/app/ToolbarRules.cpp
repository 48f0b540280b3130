#include "app/ToolbarRules.h"

namespace lumora::toolbar {

namespace {

const QString kFlipH = QStringLiteral("arrow.left.and.right.righttriangle.left.righttriangle.right");

QList<ToolbarEntryLook> makeEntries()
{
    using E = ToolbarEntry;
    const auto keys = [](std::initializer_list<QKeyCombination> combos) {
        QList<QKeySequence> list;
        for (QKeyCombination combo : combos)
            list.append(QKeySequence(combo));
        return list;
    };
    // "Command" is Ctrl here and "Option" Alt; the Delete key of those shortcuts is Backspace,
    // with the Delete key as a second binding.
    return {
        {E::oeffnen, QStringLiteral("Öffnen"), QStringLiteral("folder.badge.plus"), keys({Qt::CTRL | Qt::Key_O})},
        {E::exportJpg, QStringLiteral("→ JPG"), QStringLiteral("photo"), keys({Qt::CTRL | Qt::SHIFT | Qt::Key_J})},
        {E::exportPng, QStringLiteral("→ PNG"), QStringLiteral("photo.fill.on.rectangle.fill"),
         keys({Qt::CTRL | Qt::SHIFT | Qt::Key_E})},
        {E::entfernen, QStringLiteral("Entfernen"), QStringLiteral("trash"),
         keys({Qt::CTRL | Qt::Key_Backspace, Qt::CTRL | Qt::Key_Delete})},
        {E::wiederherstellen, QStringLiteral("Wiederherstellen"), QStringLiteral("arrow.uturn.backward"),
         keys({Qt::CTRL | Qt::Key_U})},
        {E::speichern, QStringLiteral("Speichern"), QStringLiteral("tray.and.arrow.down"), keys({Qt::CTRL | Qt::Key_S})},
        {E::alle, QStringLiteral("Alle"), QStringLiteral("checkmark.circle"), {}},
        {E::sd, QStringLiteral("SD"), QStringLiteral("eject.fill"),
         keys({Qt::CTRL | Qt::ALT | Qt::Key_Backspace, Qt::CTRL | Qt::ALT | Qt::Key_Delete})},
        {E::links, QStringLiteral("Links"), QStringLiteral("rotate.left"), {}},
        {E::rechts, QStringLiteral("Rechts"), QStringLiteral("rotate.right"), {}},
        {E::spiegeln, QStringLiteral("Spiegeln"), kFlipH, {}, true},
        {E::bearbeiten, QStringLiteral("Bearbeiten"), QStringLiteral("pencil.and.outline"), {}},
        {E::schutz, QStringLiteral("Schutz"), QStringLiteral("drop.halffull"), {}},
        {E::lupe, QStringLiteral("Lupe"), QStringLiteral("magnifyingglass"), {}},
    };
}

} // namespace

const QList<ToolbarEntryLook>& entries()
{
    static const QList<ToolbarEntryLook> all = makeEntries();
    return all;
}

const ToolbarEntryLook& look(ToolbarEntry entry)
{
    return entries()[qsizetype(entry)];
}

int group(ToolbarEntry entry)
{
    switch (entry) {
    case ToolbarEntry::oeffnen:
    case ToolbarEntry::exportJpg:
    case ToolbarEntry::exportPng: return 0;
    case ToolbarEntry::entfernen:
    case ToolbarEntry::wiederherstellen:
    case ToolbarEntry::speichern: return 1;
    case ToolbarEntry::alle:
    case ToolbarEntry::sd: return 2;
    case ToolbarEntry::links:
    case ToolbarEntry::rechts:
    case ToolbarEntry::spiegeln: return 3;
    case ToolbarEntry::bearbeiten:
    case ToolbarEntry::schutz:
    case ToolbarEntry::lupe: return 4;
    }
    return 0;
}

bool isEnabled(ToolbarEntry entry, const ToolbarInputs& in)
{
    if (in.commandRunning)
        return false;
    const bool listNonEmpty = in.photoCount > 0;
    switch (entry) {
    case ToolbarEntry::oeffnen: return true;
    case ToolbarEntry::exportJpg:
    case ToolbarEntry::exportPng:
    case ToolbarEntry::speichern:
    case ToolbarEntry::alle:
    case ToolbarEntry::links:
    case ToolbarEntry::rechts:
    case ToolbarEntry::spiegeln:
    case ToolbarEntry::schutz: return listNonEmpty;
    case ToolbarEntry::entfernen:
    case ToolbarEntry::bearbeiten: return in.selectionCount > 0;
    case ToolbarEntry::wiederherstellen: return in.canRestore;
    case ToolbarEntry::sd: return in.volumePathStored;
    case ToolbarEntry::lupe: return in.selectionCount == 1;
    }
    return false;
}

bool isActive(ToolbarEntry entry, const ToolbarInputs& in)
{
    return entry == ToolbarEntry::alle && in.allActivated;
}

QString title(ToolbarEntry entry, const ToolbarInputs& in)
{
    return isActive(entry, in) ? QStringLiteral("Abwählen") : look(entry).title;
}

QString symbol(ToolbarEntry entry, const ToolbarInputs& in)
{
    return isActive(entry, in) ? QStringLiteral("checkmark.circle.fill") : look(entry).symbol;
}

} // namespace lumora::toolbar
