#pragma once

#include "app/editor/EditorTool.h"
#include "base/Error.h"
#include "cutout/FreistellenEngine.h"
#include "pipeline/SourceImage.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <expected>
#include <optional>

namespace lumora {

/// Errors of the background apply: domain "Freisteller" and these codes.
namespace freistellerErrors {
inline constexpr QLatin1StringView domain{"Freisteller"};
enum Code : int {
    renderFailed = 1,      ///< "Bild konnte nicht erstellt werden"
    destinationFailed = 2, ///< "Destination konnte nicht erstellt werden"
    encodingFailed = 3,    ///< "Encoding fehlgeschlagen"
    blendFailed = 4,       ///< "Compositing fehlgeschlagen."
};
} // namespace freistellerErrors

/// The `freisteller` mode: removes the photo's background and puts a colour, transparency or
/// another photo behind the subjects.
///
/// States: idle (no mask) → computing (`freistellerLaeuft`) → result (`freistellerMaske`; the
/// photo shows the composite, recomposed on every background change) → applying
/// (`isFreistellerAnwenden`) → burnt in, or → discarded (the photo shows exactly what it showed
/// before). Drags are ignored. The mask is computed on the display render; the apply renders
/// the photo at full resolution, refines the mask there with the photo as guide, and writes
/// and burns in that full-resolution composite. UI thread only; the mask and the apply run as
/// background tasks whose results are dropped when the editor is gone.
class BackgroundTool : public EditorTool {
public:
    static constexpr double kJpegQuality = 0.95;

    /// With the ISNet engine; registers the apply and discard of the background question.
    explicit BackgroundTool(EditorController& editor);
    /// Tests and benchmarks put in another segmentation.
    void setEngine(FreistellenEngine engine) { m_engine = std::move(engine); }

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::freisteller; }
    void dragChanged(QPointF, QPointF) override {}
    void dragEnded() override {}
    [[nodiscard]] QString hint() const override;

    /// "KI-Szene": bakes text marks, then starts one mask computation on the photo's preview.
    /// Nothing while one runs; "Kein Bild verfügbar." when the photo has no render.
    void start();
    /// The colour picker: sets the colour, drops the background photo and recomposes.
    void setColor(const QColor& color);
    /// "Transparent": on also drops the background photo; recomposes.
    void setTransparent(bool on);
    /// "Foto wählen…": the open panel, then the photo, decoded in the background, as background
    /// (or the error line).
    void chooseBackgroundPhoto();
    /// "Anwenden": composites at full resolution, writes the file (panel, or over the photo's
    /// own file for a colour) and burns the result into the photo. Pressed while a chosen
    /// background photo still decodes, it waits for it.
    void apply();
    /// "Abbrechen" / "Verwerfen": restores what the photo and the canvas showed before; a
    /// computation under way is dropped.
    void discard();

    /// The state lines of the panel ("KI berechnet die Maske – einen Moment...", ...).
    [[nodiscard]] QString statusLine() const;
    /// The bullet lines under the background choice.
    [[nodiscard]] QStringList noteLines() const;
    /// The file the background photo was read from (empty when none is set).
    [[nodiscard]] QString backgroundPhotoPath() const { return m_backgroundPath; }
    /// True while a chosen background photo is being decoded.
    [[nodiscard]] bool isLoadingBackground() const { return m_backgroundLoading; }

    /// What the apply task produces: the full-resolution composite, its encoded bytes, and the
    /// photo's new original (the composite, kept in the cache folder rather than in memory).
    struct Applied {
        Image composite;
        QByteArray bytes;
        SourceImage original;
    };

private:
    void computeMask(quint64 run, bool flattened);
    /// The mode is on and computing, without an error line.
    void markRunning();
    void maskArrived(FreistellenEngine::MaskResult result);
    void backgroundPhotoArrived(const QString& path, const QImage& raster);
    void dropPendingBackground();
    void callOffApply();
    void recompose();
    void applyFinished(std::expected<Applied, Error> result);
    [[nodiscard]] std::optional<QString> saveTarget();
    void burnIn(const Applied& applied);
    void restoreBefore();
    void notify();

    FreistellenEngine m_engine;
    quint64 m_run = 0;              ///< the latest start; results of earlier ones are dropped
    quint64 m_backgroundChoice = 0; ///< the latest background choice
    bool m_backgroundLoading = false;
    bool m_applyWhenLoaded = false; ///< "Anwenden" came while the chosen photo was decoding
    QString m_backgroundPath;
    /// What the photo and the canvas showed when the mode started.
    struct Before {
        std::optional<Preview> preview;
        std::optional<Image> filteredCI;
        QImage thumbnail;
        std::optional<QImage> editorPreview;
    };
    std::optional<Before> m_before;
    QImage m_shownComposite; ///< the composite the canvas shows while a mask exists
};

} // namespace lumora
