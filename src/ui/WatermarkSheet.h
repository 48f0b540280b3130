#pragma once

#include "app/WatermarkController.h"

#include <QDialog>

class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;
class QTimer;
class QToolButton;

namespace lumora {

/// The watermark sheet: live preview on the left, the controls column on the right, and
/// "Abbrechen" (Escape), "Entfernen", "Anwenden" (Return). A thin view over
/// WatermarkController; every change re-renders the preview at the size it is shown.
class WatermarkSheet : public QDialog {
    Q_OBJECT
public:
    WatermarkSheet(WatermarkController& controller, WatermarkValues& values, QSize windowContent,
                   QWidget* parent = nullptr);

    /// The preview as last rendered (null when there is none).
    [[nodiscard]] QImage previewImage() const { return m_preview; }
    [[nodiscard]] QLineEdit* textField() const { return m_text; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QWidget* buildControls();
    void valuesChanged();
    void renderPreview();
    void updateLabels();
    void chooseColour();

    WatermarkController& m_controller;
    WatermarkValues& m_values;
    QLabel* m_previewLabel = nullptr;
    QLabel* m_countLabel = nullptr;
    QLineEdit* m_text = nullptr;
    QComboBox* m_position = nullptr;
    QToolButton* m_colour = nullptr;
    QSlider* m_opacity = nullptr;
    QLabel* m_opacityValue = nullptr;
    QSlider* m_size = nullptr;
    QLabel* m_sizeValue = nullptr;
    QTimer* m_renderSoon = nullptr;
    QImage m_preview;
};

/// Opens the sheet over `window` (whose content is `content` big) for the window's selection
/// (first selected first) and carries out the button the user pressed. Returns when the sheet
/// is closed.
void openWatermarkSheet(QWidget* window, QSize content, ImageProcessor& processor, WatermarkValues& values,
                        const QList<QUuid>& selection);

} // namespace lumora
