#pragma once

#include "app/editor/CanvasMapping.h"
#include "pipeline/EditState.h"

#include <QLineEdit>
#include <QUuid>
#include <QWidget>
#include <optional>

namespace lumora {

/// What the text layer draws: the marks with their selection, as the text tool has them.
struct TextMarkLayerView {
    QList<TextMark> textMarks;
    std::optional<QUuid> selectedTextID;
    std::optional<QUuid> editingTextID;
    CanvasMapping mapping;
    friend bool operator==(const TextMarkLayerView&, const TextMarkLayerView&) = default;
};

/// The semibold label font the render chain uses, at `pixelSize` pixels on `device`.
[[nodiscard]] QFont textMarkFont(double pixelSize, const QPaintDevice* device);

/// The transparent layer over the editor's canvas that draws the text marks live (the one being
/// typed is left out: the text field stands there). The mouse goes through it to the canvas,
/// which hands it to the text tool. It never takes the focus.
class TextMarkNSView : public QWidget {
    Q_OBJECT
public:
    explicit TextMarkNSView(QWidget* parent = nullptr);

    /// Takes over what to draw; repaints only what changed.
    void takeOver(TextMarkLayerView view);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    [[nodiscard]] QRect area(const TextMarkLayerView& view) const;

    TextMarkLayerView m_view;
};

/// The editor's one-line field over the text mark being typed, drawn like the mark (same font,
/// margins and background, with the accent outline) so the text stays where it was.
class TextMarkField : public QLineEdit {
    Q_OBJECT
public:
    explicit TextMarkField(QWidget* parent = nullptr);

    /// Looks like a mark at view font size `fs`, centred on view point `centre`.
    void place(QPointF centre, double fs, const QString& colorHex, bool hasBackground);
    /// The box drawn behind the text (field coordinates).
    [[nodiscard]] QRectF box() const { return m_box; }

Q_SIGNALS:
    /// The field lost the keyboard focus (not to one of its own pop-ups).
    void focusLost();
    /// Escape in the field.
    void escapePressed();

protected:
    void paintEvent(QPaintEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QPointF m_centre;
    double m_fs = 0;
    bool m_hasBackground = true;
    QRectF m_box;
};

} // namespace lumora
