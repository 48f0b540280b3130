#include "app/PhotoSelection.h"

namespace lumora {

void PhotoSelection::click(const QUuid& id, bool shift)
{
    if (!shift) {
        set({id}, false);
        return;
    }
    QList<QUuid> ids = m_ids;
    if (!ids.removeOne(id))
        ids.append(id);
    set(std::move(ids), false);
}

void PhotoSelection::doubleClick(const QUuid& id)
{
    set({id}, false);
}

void PhotoSelection::toggleAll(const QList<QUuid>& all)
{
    if (m_allActivated)
        set({}, false);
    else
        set(all, true);
}

void PhotoSelection::selectAll(const QList<QUuid>& all)
{
    set(all, true);
}

void PhotoSelection::restore(const QList<QUuid>& ids)
{
    set(ids, false);
}

void PhotoSelection::clear()
{
    set({}, false);
}

void PhotoSelection::drop(const QList<QUuid>& gone)
{
    QList<QUuid> ids = m_ids;
    for (const QUuid& id : gone)
        ids.removeOne(id);
    if (ids.size() != m_ids.size())
        set(std::move(ids), m_allActivated);
}

void PhotoSelection::set(QList<QUuid> ids, bool allActivated)
{
    const bool idsChanged = ids != m_ids;
    const bool toggleChanged = allActivated != m_allActivated;
    m_ids = std::move(ids);
    if (idsChanged)
        m_idSet = QSet<QUuid>(m_ids.cbegin(), m_ids.cend());
    m_allActivated = allActivated;
    if (idsChanged)
        Q_EMIT selectionChanged();
    if (toggleChanged)
        Q_EMIT allActivatedChanged();
}

} // namespace lumora
