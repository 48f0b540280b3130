#include "ui/WatermarkSheet.h"
#include "ui/Theme.h"

#include "pipeline/ColorHex.h"

#include <QColorDialog>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumora {

namespace {

constexpr int kSliderSteps = 1000;

const QList<std::pair<WatermarkPosition, QString>>& positionen()
{
    static const QList<std::pair<WatermarkPosition, QString>> list{
        {WatermarkPosition::tiled, QStringLiteral("Gekachelt")},
        {WatermarkPosition::center, QStringLiteral("Mitte")},
        {WatermarkPosition::topLeft, QStringLiteral("Oben links")},
        {WatermarkPosition::topRight, QStringLiteral("Oben rechts")},
        {WatermarkPosition::bottomLeft, QStringLiteral("Unten links")},
        {WatermarkPosition::bottomRight, QStringLiteral("Unten rechts")},
    };
    return list;
}

/// A continuous slider over [low, high] with kSliderSteps positions.
QSlider* continuousSlider(double low, double high, double value, QWidget* parent)
{
    auto* slider = new QSlider(Qt::Horizontal, parent);
    slider->setRange(0, kSliderSteps);
    slider->setValue(int(std::lround((value - low) / (high - low) * kSliderSteps)));
    return slider;
}

double sliderValue(const QSlider* slider, double low, double high)
{
    return low + (high - low) * slider->value() / double(kSliderSteps);
}

QString percentText(double value)
{
    return QString::number(int(value * 100)) + QStringLiteral(" %");
}

} // namespace

WatermarkSheet::WatermarkSheet(WatermarkController& controller, WatermarkValues& values, QSize windowContent,
                               QWidget* parent)
    : QDialog(parent), m_controller(controller), m_values(values)
{
    setWindowTitle(QStringLiteral("Wasserzeichen"));
    setWindowModality(Qt::WindowModal);
    resize(WatermarkController::sheetSize(windowContent));
    setMinimumSize(WatermarkController::kPanelWidth + WatermarkController::kPreviewMinWidth + 1, 400);

    m_previewLabel = new QLabel(this);
    m_previewLabel->setAlignment(Qt::AlignCenter);
    m_previewLabel->setMinimumWidth(WatermarkController::kPreviewMinWidth);
    m_previewLabel->setStyleSheet(QStringLiteral("background: rgb(31, 31, 33); color: rgb(140, 140, 148);"));
    m_previewLabel->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_previewLabel, 1);
    layout->addWidget(buildControls());

    m_renderSoon = new QTimer(this);
    m_renderSoon->setSingleShot(true);
    m_renderSoon->setInterval(0); // one render per turn of the event loop, however fast the typing
    connect(m_renderSoon, &QTimer::timeout, this, &WatermarkSheet::renderPreview);
    updateLabels();
    m_text->setFocus();
    renderPreview();
}

QWidget* WatermarkSheet::buildControls()
{
    auto* column = new QWidget(this);
    column->setFixedWidth(WatermarkController::kPanelWidth);
    column->setObjectName(QStringLiteral("controls"));
    column->setStyleSheet(QStringLiteral("#controls { background: rgb(43, 43, 46); }"));
    auto* v = new QVBoxLayout(column);
    v->setContentsMargins(16, 16, 16, 16);
    v->setSpacing(6);

    v->addWidget(styledLabel(QStringLiteral("Wasserzeichen"), 16, QFont::DemiBold));
    m_countLabel = styledLabel({}, 10, QFont::Normal, theme::textMuted);
    v->addWidget(m_countLabel);
    v->addSpacing(8);

    v->addWidget(styledLabel(QStringLiteral("Schriftzug"), 11, QFont::Medium));
    m_text = new QLineEdit(m_values.text, column);
    m_text->setPlaceholderText(QStringLiteral("z. B. Mein Shop"));
    m_text->setMaxLength(int(kWatermarkMaxLength));
    connect(m_text, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_values.text = text;
        valuesChanged();
    });
    v->addWidget(m_text);
    v->addWidget(styledLabel(QStringLiteral("Höchstens %1 Zeichen.").arg(kWatermarkMaxLength), 10, QFont::Normal,
                             theme::textMuted));

    v->addWidget(styledLabel(QStringLiteral("Position"), 11, QFont::Medium));
    m_position = new QComboBox(column);
    for (const auto& [position, text] : positionen()) {
        m_position->addItem(text, int(position));
        if (position == m_values.position)
            m_position->setCurrentIndex(m_position->count() - 1);
    }
    connect(m_position, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_values.position = positionen().at(index).first;
        valuesChanged();
    });
    v->addWidget(m_position);

    v->addWidget(styledLabel(QStringLiteral("Farbe"), 11, QFont::Medium));
    m_colour = new QToolButton(column);
    m_colour->setFixedSize(44, 24);
    connect(m_colour, &QToolButton::clicked, this, &WatermarkSheet::chooseColour);
    v->addWidget(m_colour);
    QLabel* hint = styledLabel(QStringLiteral("Bei hellen Hintergründen dunkle Farbe wählen."), 10, QFont::Normal,
                               theme::textMuted);
    hint->setWordWrap(true);
    v->addWidget(hint);

    auto* opacityRow = new QHBoxLayout;
    opacityRow->addWidget(styledLabel(QStringLiteral("Deckkraft"), 11, QFont::Medium));
    m_opacityValue = styledLabel({}, 10, QFont::DemiBold, theme::accent);
    opacityRow->addStretch();
    opacityRow->addWidget(m_opacityValue);
    v->addLayout(opacityRow);
    m_opacity = continuousSlider(0.05, 1.0, m_values.opacity, column);
    connect(m_opacity, &QSlider::valueChanged, this, [this] {
        m_values.opacity = sliderValue(m_opacity, 0.05, 1.0);
        valuesChanged();
    });
    v->addWidget(m_opacity);

    auto* sizeRow = new QHBoxLayout;
    sizeRow->addWidget(styledLabel(QStringLiteral("Größe"), 11, QFont::Medium));
    m_sizeValue = styledLabel({}, 10, QFont::DemiBold, theme::accent);
    sizeRow->addStretch();
    sizeRow->addWidget(m_sizeValue);
    v->addLayout(sizeRow);
    m_size = continuousSlider(0.02, 0.2, m_values.sizeFactor, column);
    connect(m_size, &QSlider::valueChanged, this, [this] {
        m_values.sizeFactor = sliderValue(m_size, 0.02, 0.2);
        valuesChanged();
    });
    v->addWidget(m_size);
    v->addStretch();

    auto* buttons = new QHBoxLayout;
    auto* abbrechen = new QPushButton(QStringLiteral("Abbrechen"), column);
    auto* entfernen = new QPushButton(QStringLiteral("Entfernen"), column);
    auto* anwenden = new QPushButton(QStringLiteral("Anwenden"), column);
    anwenden->setDefault(true); // Return
    entfernen->setStyleSheet(QStringLiteral("color: rgb(255, 105, 97);"));
    connect(abbrechen, &QPushButton::clicked, this, &QDialog::reject); // Escape rejects as well
    connect(entfernen, &QPushButton::clicked, this, [this] {
        m_controller.entfernen();
        accept();
    });
    connect(anwenden, &QPushButton::clicked, this, [this] {
        m_controller.anwenden();
        accept();
    });
    buttons->addWidget(abbrechen);
    buttons->addWidget(entfernen);
    buttons->addWidget(anwenden);
    v->addLayout(buttons);
    return column;
}

void WatermarkSheet::valuesChanged()
{
    updateLabels();
    m_renderSoon->start();
}

void WatermarkSheet::updateLabels()
{
    m_countLabel->setText(m_controller.countText());
    m_opacityValue->setText(percentText(m_values.opacity));
    m_sizeValue->setText(percentText(m_values.sizeFactor));
    m_colour->setStyleSheet(QStringLiteral("background: %1; border: 1px solid rgb(90, 90, 96); border-radius: 4px;")
                                .arg(colorOr(m_values.colorHex, Qt::white).name()));
}

void WatermarkSheet::renderPreview()
{
    const QSize shown = m_previewLabel->size() * devicePixelRatioF();
    const int side = std::max({shown.width(), shown.height(), 320});
    const std::optional<QImage> image = m_controller.preview(side);
    if (!image) {
        m_preview = QImage();
        m_previewLabel->setPixmap(QPixmap());
        m_previewLabel->setText(QStringLiteral("Keine Vorschau verfügbar"));
        return;
    }
    m_preview = *image;
    QPixmap pixmap = QPixmap::fromImage(image->scaled(shown, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    pixmap.setDevicePixelRatio(devicePixelRatioF());
    m_previewLabel->setPixmap(pixmap);
}

void WatermarkSheet::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (m_renderSoon)
        m_renderSoon->start();
}

void WatermarkSheet::chooseColour()
{
    const QColor chosen = QColorDialog::getColor(colorOr(m_values.colorHex, Qt::white), this, QStringLiteral("Farbe"));
    if (!chosen.isValid())
        return;
    QColor opaque = chosen;
    opaque.setAlpha(255); // the colour well has no opacity; the slider sets it
    m_values.colorHex = hexFromColor(opaque);
    valuesChanged();
}

void openWatermarkSheet(QWidget* window, QSize content, ImageProcessor& processor, WatermarkValues& values,
                        const QList<QUuid>& selection)
{
    WatermarkController controller(processor, values, selection);
    controller.open();
    WatermarkSheet sheet(controller, values, content, window);
    sheet.exec();
}

} // namespace lumora
