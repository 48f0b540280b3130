#pragma once

#include "ui/editor/EditorToolUi.h"

#include <QPointF>
#include <QWidget>
#include <optional>

namespace lumora {

class EditorController;

/// The editor's canvas: the editor preview fitted and centred, the committed annotations still
/// on their way into the preview, and every tool's feedback on top. Mouse presses, moves and
/// releases (and double clicks) go to the controller in canvas points; while a drag runs only
/// the area it changed is repainted. Its size and pixel ratio go to the controller, which
/// renders the preview for them.
class EditorCanvas : public QWidget {
    Q_OBJECT
public:
    EditorCanvas(EditorController& editor, const EditorToolUis& tools, QWidget* parent = nullptr);

    /// Repaints what the last drag step changed (the whole canvas outside a drag).
    void stateChanged();
    /// The area the last drag step asked to repaint (benchmarks repaint it at once).
    [[nodiscard]] QRect lastDirtyRect() const { return m_lastDirty; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    [[nodiscard]] QRectF feedbackArea() const;
    void reportSize();

    EditorController& m_editor;
    const EditorToolUis& m_tools;
    bool m_dragging = false;
    QRectF m_lastArea;
    QRect m_lastDirty;
};

} // namespace lumora
