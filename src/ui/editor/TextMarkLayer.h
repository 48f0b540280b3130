#pragma once

#include "app/editor/TextLayerGeometry.h"
#include "pipeline/EditState.h"

#include <QLineEdit>
#include <QWidget>
#include <functional>
#include <optional>

namespace lumora {

/// What the editor hands the text layer on every update: copies of its values and the calls
/// that write back (the selection, a moved mark) or ask it to act (an empty click, a double click).
struct TextMarkLayerView {
    QList<TextMark> textMarks;
    std::optional<QUuid> selectedTextID;
    std::optional<QUuid> editingTextID;
    QSizeF displayedImageSize; ///< (dw, dh)
    QSizeF originalImageSize;  ///< (W, H)
    double rotation = 0;
    bool flippedH = false;
    bool flippedV = false;
    bool isTextMode = false;
    std::function<void(QPointF)> onEmptyClick; ///< image position of a click that hit no text
    std::function<void(const QUuid&)> onRequestEdit;
    std::function<void(const std::optional<QUuid>&)> onSelect;
    std::function<void(const QUuid&, QPointF)> onMove; ///< a dropped mark's new image position
};

/// The semibold label font the render chain uses, at `pixelSize` pixels on `device`.
[[nodiscard]] QFont textMarkFont(double pixelSize, const QPaintDevice* device);

/// The transparent layer over the editor's canvas that draws the text marks live (the one being
/// edited is left out: the text field stands there) and, in `text` mode, handles the mouse:
/// double click edits, a press selects and drags, a press on empty space is an empty click.
/// Outside `text` mode every mouse event goes through to the canvas. It never takes the focus.
class TextMarkNSView : public QWidget {
    Q_OBJECT
public:
    explicit TextMarkNSView(QWidget* parent = nullptr);

    /// Takes over the editor's values and repaints.
    void takeOver(TextMarkLayerView view);
    [[nodiscard]] TextLayerGeometry geometry2D() const;
    [[nodiscard]] std::optional<QUuid> draggingID() const { return m_draggingID; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void press(QPointF p, int clickCount);
    [[nodiscard]] const TextMark* mark(const QUuid& id) const;
    /// The area the dragged mark covers now (with its outline).
    [[nodiscard]] QRect draggedArea() const;

    TextMarkLayerView m_view;
    std::optional<QUuid> m_draggingID;
    QPointF m_dragStartMouse;
    QPointF m_dragStartImagePos;
    QPointF m_dragOffset;
};

/// The editor's one-line field over the text mark being edited, drawn like the mark (same font,
/// margins and background, with the accent outline) so the text stays where it was.
class TextMarkField : public QLineEdit {
    Q_OBJECT
public:
    explicit TextMarkField(QWidget* parent = nullptr);

    /// Looks like `mark` at view font size `fs`, centred on view point `centre`.
    void place(QPointF centre, double fs, const QString& colorHex, bool hasBackground);
    /// The box drawn behind the text (field coordinates).
    [[nodiscard]] QRectF box() const { return m_box; }

Q_SIGNALS:
    /// The field lost the keyboard focus (not to one of its own pop-ups).
    void focusLost();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    QPointF m_centre;
    double m_fs = 0;
    bool m_hasBackground = true;
    QRectF m_box;
};

} // namespace lumora
