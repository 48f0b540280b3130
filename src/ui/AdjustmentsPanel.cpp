#include "ui/AdjustmentsPanel.h"

#include "app/PanelTexts.h"
#include "app/PhotoSelection.h"
#include "model/ImageProcessor.h"
#include "ui/Icons.h"
#include "ui/Theme.h"

#include <QAction>
#include <QGridLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>

namespace lumora {

namespace {

QLabel* sectionTitle(const QString& text)
{
    QLabel* title = styledLabel(text, 10, QFont::DemiBold, theme::textMuted);
    QFont font = title->font();
    font.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
    title->setFont(font);
    return title;
}

QLabel* symbolLabel(const QString& symbol, int side, QColor color)
{
    auto* result = new QLabel;
    result->setFixedSize(side + 3, side + 3);
    result->setAlignment(Qt::AlignCenter);
    result->setPixmap(icons::pixmap(symbol, side, color, 2.0));
    return result;
}

} // namespace

AdjustmentsPanel::AdjustmentsPanel(AdjustmentController& controller, ImageProcessor& processor,
                                   PhotoSelection& selection, QWidget* parent)
    : QScrollArea(parent), m_controller(controller), m_processor(processor), m_selection(selection)
{
    setFixedWidth(280);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setFocusPolicy(Qt::NoFocus);
    setWidgetResizable(true);
    auto* content = new QWidget;
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(16, 14, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(makeHeader());
    for (const SliderSpec& spec : sliders::all())
        layout->addWidget(makeRow(spec));
    layout->addWidget(makeNotice());
    m_reset = new QPushButton(icons::icon(QStringLiteral("arrow.counterclockwise")), QStringLiteral("Zurücksetzen"));
    m_reset->setFocusPolicy(Qt::NoFocus);
    connect(m_reset, &QPushButton::clicked, &m_controller, &AdjustmentController::reset);
    layout->addWidget(m_reset);
    layout->addSpacing(6);
    layout->addWidget(makeFileInfo());
    layout->addSpacing(6);
    layout->addWidget(makeShortcuts());
    layout->addStretch(1);
    setWidget(content);

    connect(&m_controller, &AdjustmentController::uiAdjustmentChanged, this, &AdjustmentsPanel::showValues);
    connect(&m_controller, &AdjustmentController::visibilityChanged, this, &AdjustmentsPanel::showVisibility);
    connect(&m_selection, &PhotoSelection::selectionChanged, this, &AdjustmentsPanel::showFileInfo);
    connect(&m_processor, &ImageProcessor::photosChanged, this, [this](const PhotoChanges& changes) {
        // Slider steps on other photos leave the shown file as it is: no file look-ups per step.
        if (changes.touches(m_selection.first()))
            showFileInfo();
    });
    showValues();
    showVisibility();
    showFileInfo();
}

QWidget* AdjustmentsPanel::makeHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(sectionTitle(QStringLiteral("ANPASSUNGEN")));
    row->addStretch(1);
    auto* menuButton = new QToolButton;
    menuButton->setAutoRaise(true);
    menuButton->setFocusPolicy(Qt::NoFocus);
    menuButton->setIcon(icons::icon(QStringLiteral("slider.horizontal.3")));
    menuButton->setToolTip(QStringLiteral("Regler ein- und ausblenden"));
    menuButton->setPopupMode(QToolButton::InstantPopup);
    menuButton->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
    auto* menu = new QMenu(menuButton);
    for (const SliderSpec& spec : sliders::all()) {
        QAction* toggle = menu->addAction(spec.title);
        toggle->setCheckable(true);
        const AdjustmentField field = spec.field;
        connect(toggle, &QAction::toggled, this, [this, field](bool on) { m_controller.setShown(field, on); });
        m_visibility.insert(spec.field, toggle);
    }
    menu->addSeparator();
    m_showAll = menu->addAction(QStringLiteral("Alle anzeigen"));
    connect(m_showAll, &QAction::triggered, &m_controller, &AdjustmentController::showAll);
    menuButton->setMenu(menu);
    row->addWidget(menuButton);
    return header;
}

QWidget* AdjustmentsPanel::makeRow(const SliderSpec& spec)
{
    auto* widget = new QWidget;
    auto* column = new QVBoxLayout(widget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);
    auto* line = new QHBoxLayout;
    line->setSpacing(6);
    line->addWidget(symbolLabel(spec.symbol, 11, theme::textMuted));
    line->addWidget(styledLabel(spec.title, 11, QFont::Medium));
    line->addStretch(1);
    QLabel* value = styledLabel({}, 10, QFont::DemiBold, theme::accent);
    value->setMinimumWidth(44);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    line->addWidget(value);
    column->addLayout(line);
    auto* slider = new QSlider(Qt::Horizontal);
    slider->setFocusPolicy(Qt::NoFocus);
    slider->setRange(spec.minimumPosition(), spec.maximumPosition());
    slider->setSingleStep(1);
    slider->setPageStep(4);
    const AdjustmentField field = spec.field;
    const double step = spec.step;
    connect(slider, &QSlider::valueChanged, this,
            [this, field, step](int position) { m_controller.setValue(field, position * step); });
    column->addWidget(slider);
    m_rows.insert(spec.field, {widget, slider, value});
    return widget;
}

QWidget* AdjustmentsPanel::makeNotice()
{
    m_notice = new QWidget;
    auto* column = new QVBoxLayout(m_notice);
    column->setContentsMargins(0, 8, 0, 8);
    column->addWidget(styledLabel(QStringLiteral("Keine Anpassungen sichtbar"), 11));
    column->addWidget(styledLabel(QStringLiteral("Über das Menü oben rechts wieder einblenden."), 10, QFont::Normal,
                                  theme::textMuted));
    return m_notice;
}

QWidget* AdjustmentsPanel::makeFileInfo()
{
    m_fileInfo = new QWidget;
    auto* column = new QVBoxLayout(m_fileInfo);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(sectionTitle(QStringLiteral("DATEI-INFO")));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(3);
    const QStringList labels = {QStringLiteral("Name"), QStringLiteral("Breite"), QStringLiteral("Höhe"),
                                QStringLiteral("Größe"), QStringLiteral("Sensor")};
    for (int i = 0; i < labels.size(); ++i) {
        QLabel* label = styledLabel(labels[i], 10, QFont::Normal, theme::textMuted);
        grid->addWidget(label, i, 0);
        m_fileInfoLabels.append(label);
        QLabel* value = styledLabel({}, 10);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse);
        value->setFocusPolicy(Qt::NoFocus); // the window's keys must not end up in a label
        value->setWordWrap(true);
        grid->addWidget(value, i, 1);
        m_fileInfoValues.append(value);
    }
    grid->setColumnStretch(1, 1);
    column->addLayout(grid);
    return m_fileInfo;
}

QWidget* AdjustmentsPanel::makeShortcuts()
{
    auto* section = new QWidget;
    auto* column = new QVBoxLayout(section);
    column->setContentsMargins(0, 0, 0, 0);
    column->addWidget(sectionTitle(QStringLiteral("TASTATURKÜRZEL")));
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(10);
    grid->setVerticalSpacing(3);
    int i = 0;
    for (const auto& [keys, description] : panelTexts::shortcutRows()) {
        grid->addWidget(styledLabel(keys, 10, QFont::DemiBold), i, 0);
        grid->addWidget(styledLabel(description, 10, QFont::Normal, theme::textMuted), i, 1);
        ++i;
    }
    grid->setColumnStretch(1, 1);
    column->addLayout(grid);
    return section;
}

void AdjustmentsPanel::showValues()
{
    const AdjustmentState& state = m_controller.uiAdjustment();
    for (const SliderSpec& spec : sliders::all()) {
        const Row& row = m_rows[spec.field];
        const double value = sliders::valueOf(state, spec.field);
        const QSignalBlocker quiet(row.slider);
        row.slider->setValue(spec.positionOf(value));
        row.value->setText(sliders::valueText(spec.field, value));
    }
}

void AdjustmentsPanel::showVisibility()
{
    for (const SliderSpec& spec : sliders::all()) {
        const bool shown = m_controller.isShown(spec.field);
        m_rows[spec.field].widget->setVisible(shown);
        const QSignalBlocker quiet(m_visibility[spec.field]);
        m_visibility[spec.field]->setChecked(shown);
    }
    m_notice->setVisible(m_controller.noneShown());
}

void AdjustmentsPanel::showFileInfo()
{
    const PhotoItem* photo = m_processor.photo(m_selection.first());
    m_fileInfo->setVisible(photo != nullptr);
    if (!photo)
        return;
    const auto rows = panelTexts::fileInfoRows(*photo);
    // Rows the photo has no value for (the sensor of a photo that is no RAW file) are hidden.
    for (qsizetype i = 0; i < m_fileInfoValues.size(); ++i) {
        const bool shown = i < rows.size();
        m_fileInfoValues[i]->setText(shown ? rows[i].second : QString());
        m_fileInfoValues[i]->setVisible(shown);
        m_fileInfoLabels[i]->setVisible(shown);
    }
}

bool AdjustmentsPanel::rowVisible(AdjustmentField field) const
{
    return !m_rows.value(field).widget->isHidden();
}

bool AdjustmentsPanel::noticeVisible() const
{
    return !m_notice->isHidden();
}

QStringList AdjustmentsPanel::fileInfoValues() const
{
    QStringList values;
    if (m_fileInfo->isHidden())
        return values;
    for (QLabel* value : m_fileInfoValues) {
        if (!value->isHidden())
            values.append(value->text());
    }
    return values;
}

} // namespace lumora
