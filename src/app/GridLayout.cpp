#include "app/GridLayout.h"

#include <algorithm>
#include <cmath>

namespace lumora {

void GridLayout::setCellSize(double minimum)
{
    m_minimum = minimum;
    relayout();
}

void GridLayout::setWidth(double width)
{
    m_width = width;
    relayout();
}

void GridLayout::setPictureSizes(QList<QSizeF> sizes)
{
    m_pictures = std::move(sizes);
    relayout();
}

bool GridLayout::setPictureSize(qsizetype index, QSizeF size)
{
    if (index < 0 || index >= m_pictures.size())
        return false;
    const double before = cardHeight(index);
    m_pictures[index] = size;
    if (cardHeight(index) == before)
        return false;
    relayout();
    return true;
}

double GridLayout::cardHeight(qsizetype index) const
{
    const QSizeF picture = m_pictures[index];
    const double inner = std::max(1.0, m_cellWidth - 2 * kInnerMargin);
    const double pictureHeight = picture.isEmpty() ? kPlaceholderHeight : inner * picture.height() / picture.width();
    return pictureHeight + 2 * kInnerMargin;
}

void GridLayout::relayout()
{
    const double available = std::max(1.0, m_width - 2 * kMargin);
    m_columns = std::max(1, int(std::floor((available + kSpacing) / (m_minimum + kSpacing))));
    m_cellWidth = std::min(m_minimum + kExtraWidth, (available - (m_columns - 1) * kSpacing) / m_columns);
    // Columns that reached their maximum width leave room; the grid stays centred.
    const double used = m_columns * m_cellWidth + (m_columns - 1) * kSpacing;
    m_left = kMargin + std::max(0.0, (available - used) / 2);

    m_rowTop.clear();
    m_rowHeight.clear();
    double y = kMargin;
    for (qsizetype first = 0; first < m_pictures.size(); first += m_columns) {
        double height = 0;
        for (qsizetype i = first; i < std::min(first + m_columns, m_pictures.size()); ++i)
            height = std::max(height, cardHeight(i));
        m_rowTop.append(y);
        m_rowHeight.append(height);
        y += height + kSpacing;
    }
    m_contentHeight = m_pictures.isEmpty() ? 0 : y - kSpacing + kMargin;
}

QRectF GridLayout::cardRect(qsizetype index) const
{
    if (index < 0 || index >= m_pictures.size())
        return {};
    const qsizetype row = index / m_columns;
    const qsizetype column = index % m_columns;
    const double height = cardHeight(index);
    const double x = m_left + column * (m_cellWidth + kSpacing);
    const double y = m_rowTop[row] + (m_rowHeight[row] - height) / 2;
    return {x, y, m_cellWidth, height};
}

QRectF GridLayout::pictureRect(const QRectF& card)
{
    return card.adjusted(kInnerMargin, kInnerMargin, -kInnerMargin, -kInnerMargin);
}

qsizetype GridLayout::indexAt(QPointF point) const
{
    const auto [first, last] = range(point.y(), point.y() + 0.5);
    for (qsizetype i = first; i < last; ++i) {
        if (cardRect(i).contains(point))
            return i;
    }
    return -1;
}

std::pair<qsizetype, qsizetype> GridLayout::range(double top, double bottom) const
{
    if (m_rowTop.isEmpty())
        return {0, 0};
    // First row whose bottom is below `top`, then every row that starts above `bottom`.
    qsizetype row = std::upper_bound(m_rowTop.cbegin(), m_rowTop.cend(), top) - m_rowTop.cbegin() - 1;
    row = std::max<qsizetype>(0, row);
    if (m_rowTop[row] + m_rowHeight[row] <= top)
        ++row;
    const qsizetype endRow = std::lower_bound(m_rowTop.cbegin(), m_rowTop.cend(), bottom) - m_rowTop.cbegin();
    const qsizetype first = std::min(row * m_columns, m_pictures.size());
    const qsizetype last = std::min(endRow * m_columns, m_pictures.size());
    return {first, std::max(first, last)};
}

} // namespace lumora
