#pragma once

#include "app/AdjustmentController.h"

#include <QHash>
#include <QScrollArea>
#include <QUuid>

class QAction;
class QFormLayout;
class QLabel;
class QPushButton;
class QSlider;
class QToolButton;
class QWidget;

namespace lumora {

class ImageProcessor;
class PhotoSelection;

/// The right-hand panel, 280 wide in its own scroll area: "ANPASSUNGEN" with the visibility
/// menu, the visible slider rows (or the notice when none is), "Zurücksetzen", "DATEI-INFO"
/// of the first selected photo and "TASTATURKÜRZEL". It shows the AdjustmentController's
/// state and hands slider moves back to it. Sliders take no keyboard focus: the arrow keys
/// belong to the window.
class AdjustmentsPanel : public QScrollArea {
    Q_OBJECT
public:
    AdjustmentsPanel(AdjustmentController& controller, ImageProcessor& processor, PhotoSelection& selection,
                     QWidget* parent = nullptr);

    [[nodiscard]] QSlider* slider(AdjustmentField field) const { return m_rows.value(field).slider; }
    [[nodiscard]] QLabel* valueLabel(AdjustmentField field) const { return m_rows.value(field).value; }
    [[nodiscard]] bool rowVisible(AdjustmentField field) const;
    [[nodiscard]] bool noticeVisible() const;
    [[nodiscard]] QAction* visibilityAction(AdjustmentField field) const { return m_visibility.value(field); }
    [[nodiscard]] QAction* showAllAction() const { return m_showAll; }
    [[nodiscard]] QPushButton* resetButton() const { return m_reset; }
    /// The values of the "DATEI-INFO" rows, in order (empty when the section is hidden).
    [[nodiscard]] QStringList fileInfoValues() const;
    /// Reads the first selected photo's file again (name, pixel size, bytes on disk): after a
    /// write of that file its size on disk changed without any change of the photo.
    void showFileInfo();

private:
    struct Row {
        QWidget* widget = nullptr;
        QSlider* slider = nullptr;
        QLabel* value = nullptr;
    };
    QWidget* makeHeader();
    QWidget* makeRow(const SliderSpec& spec);
    QWidget* makeNotice();
    QWidget* makeFileInfo();
    QWidget* makeShortcuts();
    void showValues();
    void showVisibility();

    AdjustmentController& m_controller;
    ImageProcessor& m_processor;
    PhotoSelection& m_selection;
    QHash<AdjustmentField, Row> m_rows;
    QHash<AdjustmentField, QAction*> m_visibility;
    QAction* m_showAll = nullptr;
    QWidget* m_notice = nullptr;
    QPushButton* m_reset = nullptr;
    QWidget* m_fileInfo = nullptr;
    QList<QLabel*> m_fileInfoLabels;
    QList<QLabel*> m_fileInfoValues;
};

} // namespace lumora
