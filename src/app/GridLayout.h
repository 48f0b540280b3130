#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>

namespace lumora {

/// Where the grid's cards go: adaptive columns at least `gridCellSize` and at most
/// `gridCellSize` + 60 wide, 8 apart, rows 8 apart, 12 around the grid. A card is the picture
/// scaled to the column width inside a 6-point margin (150 high while it has no picture);
/// each row is as high as its tallest card, the others sit centred in it. Plain arithmetic in
/// logical pixels, no widgets.
class GridLayout {
public:
    static constexpr double kSpacing = 8;
    static constexpr double kMargin = 12;
    static constexpr double kInnerMargin = 6;
    static constexpr double kPlaceholderHeight = 150;
    static constexpr double kExtraWidth = 60;

    /// `gridCellSize`, the minimum card width.
    void setCellSize(double minimum);
    /// The width the grid has (the scroll view's viewport).
    void setWidth(double width);
    /// The picture size of each card in order; an empty size stands for the placeholder.
    void setPictureSizes(QList<QSizeF> sizes);
    /// Changes one card's picture size; returns whether its height changed (then relayout()).
    bool setPictureSize(qsizetype index, QSizeF size);

    [[nodiscard]] int columns() const { return m_columns; }
    [[nodiscard]] double cellWidth() const { return m_cellWidth; }
    [[nodiscard]] qsizetype count() const { return m_pictures.size(); }
    /// The card's rectangle in content coordinates (y down from the top of the grid).
    [[nodiscard]] QRectF cardRect(qsizetype index) const;
    /// The picture's rectangle inside `card`.
    [[nodiscard]] static QRectF pictureRect(const QRectF& card);
    [[nodiscard]] double contentHeight() const { return m_contentHeight; }
    /// The card under `point` (content coordinates), or −1.
    [[nodiscard]] qsizetype indexAt(QPointF point) const;
    /// The first and one-past-last index of the rows that meet [top, bottom).
    [[nodiscard]] std::pair<qsizetype, qsizetype> range(double top, double bottom) const;

private:
    void relayout();
    [[nodiscard]] double cardHeight(qsizetype index) const;

    double m_minimum = 190;
    double m_width = 0;
    QList<QSizeF> m_pictures;
    int m_columns = 1;
    double m_cellWidth = 190;
    double m_left = kMargin;
    QList<double> m_rowTop;    ///< per row
    QList<double> m_rowHeight; ///< per row
    double m_contentHeight = 0;
};

} // namespace lumora
