#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

namespace lumora {

/// The grid's selection (`selectedPhotoIDs`) and the select-all toggle (`allActivated`).
///
/// The ids keep the order in which they were selected, so "the first selected photo" (whose
/// adjustment the panel shows, which "Bearbeiten" and "Lupe" use) is always the same one.
/// Clicks never select a range. UI thread only.
class PhotoSelection : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    [[nodiscard]] const QList<QUuid>& ordered() const { return m_ids; }
    [[nodiscard]] const QSet<QUuid>& ids() const { return m_idSet; }
    [[nodiscard]] bool contains(const QUuid& id) const { return m_idSet.contains(id); }
    [[nodiscard]] bool isEmpty() const { return m_ids.isEmpty(); }
    [[nodiscard]] qsizetype size() const { return m_ids.size(); }
    /// The first selected id, or a null id when nothing is selected.
    [[nodiscard]] QUuid first() const { return m_ids.isEmpty() ? QUuid() : m_ids.first(); }
    [[nodiscard]] bool allActivated() const { return m_allActivated; }

    /// A single click on a card: with Shift the photo toggles in or out of the selection,
    /// without it the selection becomes just this photo. The toggle goes back to "Alle".
    void click(const QUuid& id, bool shift);
    /// A double click: the selection becomes just this photo; the toggle goes back to "Alle".
    void doubleClick(const QUuid& id);
    /// "Alle" / "Abwählen": selects `all` (list order) and turns the toggle on, or empties the
    /// selection and turns it off.
    void toggleAll(const QList<QUuid>& all);
    /// Ctrl+A: selects `all` and turns the toggle on.
    void selectAll(const QList<QUuid>& all);
    void clear();
    /// The selection becomes `ids` in this order (a restored session's); the toggle goes back to "Alle".
    void restore(const QList<QUuid>& ids);
    /// Drops the ids of photos that left the list.
    void drop(const QList<QUuid>& gone);

Q_SIGNALS:
    /// The ids changed (not emitted when a call leaves them as they were).
    void selectionChanged();
    void allActivatedChanged();

private:
    void set(QList<QUuid> ids, bool allActivated);

    QList<QUuid> m_ids;
    QSet<QUuid> m_idSet; // the same ids, for lookups on every slider step and paint
    bool m_allActivated = false;
};

} // namespace lumora
