#pragma once

#include "pipeline/EditState.h"

#include <QList>
#include <QObject>
#include <QString>

namespace lumora {

class ImageProcessor;
class PhotoSelection;
struct PhotoChanges;

/// One of the five adjustment sliders.
enum class AdjustmentField { exposure, brightness, contrast, saturation, sharpness };

/// A slider row: title, range, step, symbol and the preference that shows or hides it.
struct SliderSpec {
    AdjustmentField field;
    QString title;
    QString symbol;
    QString preferenceKey;
    double minimum;
    double maximum;
    double step;

    /// Slider positions are whole steps: value = position × step.
    [[nodiscard]] int positionOf(double value) const;
    [[nodiscard]] int minimumPosition() const { return positionOf(minimum); }
    [[nodiscard]] int maximumPosition() const { return positionOf(maximum); }
};

namespace sliders {
/// The five rows in panel order.
[[nodiscard]] const QList<SliderSpec>& all();
[[nodiscard]] const SliderSpec& spec(AdjustmentField field);
[[nodiscard]] double valueOf(const AdjustmentState& state, AdjustmentField field);
void setValue(AdjustmentState& state, AdjustmentField field, double value);
/// The row's value text: "+35 %" for exposure and brightness (value × 100), "-100 %" for
/// contrast ((value − 1) × 100), "100 %" for saturation and sharpness (value × 100). Whole
/// percent, rounded half away from zero; zero reads "+0 %", never "-0 %".
[[nodiscard]] QString valueText(AdjustmentField field, double value);
} // namespace sliders

/// The adjustments panel's state (`uiAdjustment` and the slider visibility) and the rules that
/// tie it to the selection:
///  - a slider's new value is written to every selected photo (that value only);
///  - whenever the selection changes, `uiAdjustment` becomes the first selected photo's
///    adjustment (neutral when there is none), which is written to every selected photo;
///  - when the first selected photo's adjustment changes otherwise (a bake resets it), the
///    panel shows it and writes nothing;
///  - while a turn, mirror or watermark renders (the photos take no adjustment then), a change
///    is refused and the panel shows the values the photos have.
/// The visibility flags live in the preferences ("Lumora.Slider.show…", absent = shown) and
/// are written the moment they change. UI thread only.
class AdjustmentController : public QObject {
    Q_OBJECT
public:
    AdjustmentController(ImageProcessor& processor, PhotoSelection& selection, QObject* parent = nullptr);

    [[nodiscard]] const AdjustmentState& uiAdjustment() const { return m_ui; }
    /// Sets the shown values; when they differ, applies them to the selection.
    void setUiAdjustment(const AdjustmentState& state);
    /// One slider's value: shown, and written to the selected photos' adjustments.
    void setValue(AdjustmentField field, double value);
    /// "Zurücksetzen": neutral values, applied to the selection.
    void reset();
    /// Arrow keys: Left/Right change exposure by ∓/±0.05 within −2…2, Down/Up brightness by
    /// ∓/±0.02 within −1…1. `steps` is −1 or +1.
    void stepExposure(int steps);
    void stepBrightness(int steps);

    [[nodiscard]] bool isShown(AdjustmentField field) const;
    void setShown(AdjustmentField field, bool shown);
    /// "Alle anzeigen".
    void showAll();
    [[nodiscard]] bool noneShown() const;

Q_SIGNALS:
    void uiAdjustmentChanged();
    void visibilityChanged();

private:
    /// True (and the panel told to show its values again) while the photos take no change.
    bool refusedDuringBatch();
    void selectionChanged();
    void photosChanged(const PhotoChanges& changes);

    ImageProcessor& m_processor;
    PhotoSelection& m_selection;
    AdjustmentState m_ui;
};

} // namespace lumora
