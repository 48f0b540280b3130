#pragma once

#include "pipeline/EditState.h"

#include <QList>
#include <QString>
#include <optional>

namespace lumora {

/// One committed edit of a photo: its whole edit value before and after.
struct EditRecord {
    EditState before;
    EditState after;
    /// Commits with the same non-empty tag made one after another merge into one record (the
    /// steps of one slider drag on a text mark's size).
    QString mergeTag;
    friend bool operator==(const EditRecord&, const EditRecord&) = default;
};

/// The editor's undo and redo: two stacks of edit records, newest last. A plain value.
class EditHistory {
public:
    /// A new edit: it goes on the undo stack and the redo stack is emptied. A record whose tag
    /// matches the newest record's, and that starts where that one ends, extends it instead.
    void push(EditRecord record)
    {
        m_redo.clear();
        if (!record.mergeTag.isEmpty() && !m_undo.isEmpty() && m_undo.last().mergeTag == record.mergeTag
            && m_undo.last().after == record.before) {
            m_undo.last().after = std::move(record.after);
            return;
        }
        m_undo.append(std::move(record));
    }
    /// An edit undone that was never on the undo stack (made before the history began): redo
    /// brings it back.
    void pushUndone(EditRecord record) { m_redo.append(std::move(record)); }
    /// The newest edit, moved to the redo stack; none when there is nothing to undo.
    std::optional<EditRecord> undo()
    {
        if (m_undo.isEmpty())
            return std::nullopt;
        m_redo.append(m_undo.takeLast());
        return m_redo.last();
    }
    /// The newest undone edit, moved back to the undo stack; none when there is nothing to redo.
    std::optional<EditRecord> redo()
    {
        if (m_redo.isEmpty())
            return std::nullopt;
        m_undo.append(m_redo.takeLast());
        m_undo.last().mergeTag.clear(); // a redone step never absorbs the next one
        return m_undo.last();
    }
    [[nodiscard]] bool canUndo() const { return !m_undo.isEmpty(); }
    [[nodiscard]] bool canRedo() const { return !m_redo.isEmpty(); }
    void clear()
    {
        m_undo.clear();
        m_redo.clear();
    }

private:
    QList<EditRecord> m_undo;
    QList<EditRecord> m_redo;
};

} // namespace lumora
