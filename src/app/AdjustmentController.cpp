#include "app/AdjustmentController.h"

#include "app/PhotoSelection.h"
#include "model/ImageProcessor.h"
#include "platform/Preferences.h"

#include <cmath>

namespace lumora {

int SliderSpec::positionOf(double value) const
{
    return int(std::lround(value / step));
}

namespace sliders {

const QList<SliderSpec>& all()
{
    using F = AdjustmentField;
    static const QList<SliderSpec> table = {
        {F::exposure, QStringLiteral("Belichtung"), QStringLiteral("sun.max"),
         QStringLiteral("Lumora.Slider.showExposure"), -2, 2, 0.05},
        {F::brightness, QStringLiteral("Helligkeit"), QStringLiteral("circle.lefthalf.filled"),
         QStringLiteral("Lumora.Slider.showBrightness"), -1, 1, 0.02},
        {F::contrast, QStringLiteral("Kontrast"), QStringLiteral("circle.righthalf.filled"),
         QStringLiteral("Lumora.Slider.showContrast"), -1, 3, 0.05},
        {F::saturation, QStringLiteral("Sättigung"), QStringLiteral("drop"),
         QStringLiteral("Lumora.Slider.showSaturation"), 0, 2, 0.02},
        {F::sharpness, QStringLiteral("Schärfe"), QStringLiteral("sparkles"),
         QStringLiteral("Lumora.Slider.showSharpness"), 0, 1, 0.05},
    };
    return table;
}

const SliderSpec& spec(AdjustmentField field)
{
    return all()[qsizetype(field)];
}

double valueOf(const AdjustmentState& state, AdjustmentField field)
{
    switch (field) {
    case AdjustmentField::exposure: return state.exposure;
    case AdjustmentField::brightness: return state.brightness;
    case AdjustmentField::contrast: return state.contrast;
    case AdjustmentField::saturation: return state.saturation;
    case AdjustmentField::sharpness: return state.sharpness;
    }
    return 0;
}

void setValue(AdjustmentState& state, AdjustmentField field, double value)
{
    switch (field) {
    case AdjustmentField::exposure: state.exposure = value; break;
    case AdjustmentField::brightness: state.brightness = value; break;
    case AdjustmentField::contrast: state.contrast = value; break;
    case AdjustmentField::saturation: state.saturation = value; break;
    case AdjustmentField::sharpness: state.sharpness = value; break;
    }
}

QString valueText(AdjustmentField field, double value)
{
    const bool signedText = field == AdjustmentField::exposure || field == AdjustmentField::brightness
                            || field == AdjustmentField::contrast;
    const double shown = field == AdjustmentField::contrast ? value - 1 : value;
    // Rounded as a whole number first, so steps that add up to a hair below zero read "+0 %".
    const long percent = std::lround(shown * 100);
    const QString number = signedText && percent >= 0 ? QStringLiteral("+%1").arg(percent) : QString::number(percent);
    return number + QStringLiteral(" %");
}

} // namespace sliders

AdjustmentController::AdjustmentController(ImageProcessor& processor, PhotoSelection& selection, QObject* parent)
    : QObject(parent), m_processor(processor), m_selection(selection)
{
    connect(&m_selection, &PhotoSelection::selectionChanged, this, &AdjustmentController::selectionChanged);
    connect(&m_processor, &ImageProcessor::photosChanged, this, &AdjustmentController::photosChanged);
}

void AdjustmentController::photosChanged(const PhotoChanges& changes)
{
    // The first selected photo's adjustment changed by something else than this panel (a bake
    // into a new original resets it): the panel shows it, so the next slider step starts from
    // the photo's real values instead of writing the old ones a second time.
    const QUuid first = m_selection.first();
    if (first.isNull() || !changes.edited.contains(first))
        return;
    const PhotoItem* photo = m_processor.photo(first);
    if (photo && !(photo->edits.adjustment == m_ui)) {
        m_ui = photo->edits.adjustment;
        Q_EMIT uiAdjustmentChanged();
    }
}

bool AdjustmentController::refusedDuringBatch()
{
    // A turn, mirror or watermark of the selection is rendering: the photos take no slider
    // change, so the panel goes back to the values they have instead of showing one they lack.
    if (!m_processor.isBatchProcessing())
        return false;
    Q_EMIT uiAdjustmentChanged();
    return true;
}

void AdjustmentController::setUiAdjustment(const AdjustmentState& state)
{
    if (state == m_ui || refusedDuringBatch())
        return;
    m_ui = state;
    Q_EMIT uiAdjustmentChanged();
    m_processor.applyAdjustment(m_ui, m_selection.ids());
}

void AdjustmentController::setValue(AdjustmentField field, double value)
{
    AdjustmentState next = m_ui;
    sliders::setValue(next, field, value);
    if (next == m_ui || refusedDuringBatch())
        return;
    m_ui = next;
    Q_EMIT uiAdjustmentChanged();
    // Only the slider that moved is written: the selected photos keep their other values, so a
    // photo whose adjustment went into its pixels never gets it a second time.
    m_processor.changeAdjustment([field, value](AdjustmentState& a) { sliders::setValue(a, field, value); },
                                 m_selection.ids());
}

void AdjustmentController::reset()
{
    if (refusedDuringBatch())
        return;
    // Applied once, also when the panel already shows neutral values: photos of the selection
    // may still differ from the panel (it shows only the first).
    if (!(m_ui == AdjustmentState{})) {
        m_ui = AdjustmentState{};
        Q_EMIT uiAdjustmentChanged();
    }
    m_processor.applyAdjustment(m_ui, m_selection.ids());
}

namespace {

/// A step in whole units of `step`, so repeated steps stay on the slider's grid.
double stepped(double value, int steps, double step, double low, double high)
{
    const double next = (std::round(value / step) + steps) * step;
    return std::clamp(next, low, high);
}

} // namespace

void AdjustmentController::stepExposure(int steps)
{
    setValue(AdjustmentField::exposure, stepped(m_ui.exposure, steps, 0.05, -2, 2));
}

void AdjustmentController::stepBrightness(int steps)
{
    setValue(AdjustmentField::brightness, stepped(m_ui.brightness, steps, 0.02, -1, 1));
}

bool AdjustmentController::isShown(AdjustmentField field) const
{
    return preferences::flag(sliders::spec(field).preferenceKey, true);
}

void AdjustmentController::setShown(AdjustmentField field, bool shown)
{
    if (isShown(field) == shown && preferences::contains(sliders::spec(field).preferenceKey))
        return;
    preferences::setValue(sliders::spec(field).preferenceKey, shown);
    Q_EMIT visibilityChanged();
}

void AdjustmentController::showAll()
{
    for (const SliderSpec& spec : sliders::all())
        preferences::setValue(spec.preferenceKey, true);
    Q_EMIT visibilityChanged();
}

bool AdjustmentController::noneShown() const
{
    for (const SliderSpec& spec : sliders::all()) {
        if (isShown(spec.field))
            return false;
    }
    return true;
}

void AdjustmentController::selectionChanged()
{
    const PhotoItem* first = m_processor.photo(m_selection.first());
    setUiAdjustment(first ? first->edits.adjustment : AdjustmentState{});
}

} // namespace lumora
