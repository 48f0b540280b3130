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
        {E::open, QStringLiteral("Öffnen"), QStringLiteral("folder.badge.plus"), keys({Qt::CTRL | Qt::Key_O})},
        {E::exportJpg, QStringLiteral("→ JPG"), QStringLiteral("photo"), keys({Qt::CTRL | Qt::SHIFT | Qt::Key_J})},
        {E::exportPng, QStringLiteral("→ PNG"), QStringLiteral("photo.fill.on.rectangle.fill"),
         keys({Qt::CTRL | Qt::SHIFT | Qt::Key_E})},
        {E::remove, QStringLiteral("Entfernen"), QStringLiteral("trash"),
         keys({Qt::CTRL | Qt::Key_Backspace, Qt::CTRL | Qt::Key_Delete})},
        {E::restore, QStringLiteral("Wiederherstellen"), QStringLiteral("arrow.uturn.backward"),
         keys({Qt::CTRL | Qt::Key_U})},
        {E::save, QStringLiteral("Speichern"), QStringLiteral("tray.and.arrow.down"), keys({Qt::CTRL | Qt::Key_S})},
        {E::selectAll, QStringLiteral("Alle"), QStringLiteral("checkmark.circle"), {}},
        {E::eject, QStringLiteral("SD"), QStringLiteral("eject.fill"),
         keys({Qt::CTRL | Qt::ALT | Qt::Key_Backspace, Qt::CTRL | Qt::ALT | Qt::Key_Delete})},
        {E::rotateLeft, QStringLiteral("Links"), QStringLiteral("rotate.left"), {}},
        {E::rotateRight, QStringLiteral("Rechts"), QStringLiteral("rotate.right"), {}},
        {E::mirror, QStringLiteral("Spiegeln"), kFlipH, {}, true},
        {E::edit, QStringLiteral("Bearbeiten"), QStringLiteral("pencil.and.outline"), {}},
        {E::watermark, QStringLiteral("Schutz"), QStringLiteral("drop.halffull"), {}},
        {E::magnifier, QStringLiteral("Lupe"), QStringLiteral("magnifyingglass"), {}},
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
    case ToolbarEntry::open:
    case ToolbarEntry::exportJpg:
    case ToolbarEntry::exportPng: return 0;
    case ToolbarEntry::remove:
    case ToolbarEntry::restore:
    case ToolbarEntry::save: return 1;
    case ToolbarEntry::selectAll:
    case ToolbarEntry::eject: return 2;
    case ToolbarEntry::rotateLeft:
    case ToolbarEntry::rotateRight:
    case ToolbarEntry::mirror: return 3;
    case ToolbarEntry::edit:
    case ToolbarEntry::watermark:
    case ToolbarEntry::magnifier: return 4;
    }
    return 0;
}

bool isEnabled(ToolbarEntry entry, const ToolbarInputs& in)
{
    if (in.commandRunning)
        return false;
    const bool listNonEmpty = in.photoCount > 0;
    switch (entry) {
    case ToolbarEntry::open: return true;
    case ToolbarEntry::exportJpg:
    case ToolbarEntry::exportPng:
    case ToolbarEntry::save:
    case ToolbarEntry::selectAll:
    case ToolbarEntry::rotateLeft:
    case ToolbarEntry::rotateRight:
    case ToolbarEntry::mirror:
    case ToolbarEntry::watermark: return listNonEmpty;
    case ToolbarEntry::remove:
    case ToolbarEntry::edit: return in.selectionCount > 0;
    case ToolbarEntry::restore: return in.canRestore;
    case ToolbarEntry::eject: return in.volumePathStored;
    case ToolbarEntry::magnifier: return in.selectionCount == 1;
    }
    return false;
}

bool isActive(ToolbarEntry entry, const ToolbarInputs& in)
{
    return entry == ToolbarEntry::selectAll && in.allActivated;
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
