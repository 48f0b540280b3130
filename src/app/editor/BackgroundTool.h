#pragma once

#include "app/editor/EditorTool.h"
#include "base/Error.h"
#include "cutout/FreistellenEngine.h"
#include "pipeline/Image.h"
#include "pipeline/SourceImage.h"

#include <QByteArray>
#include <QColor>
#include <QString>
#include <QStringList>
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
/// photo and the canvas show the composite, composed again in the background on every change of
/// background) → applying (`isFreistellerAnwenden`) → burnt in, or → discarded (the photo shows
/// its own edits again). A computation that finds nothing stays in the mode with its reason.
/// Pointer events are ignored. The mask is computed on a display-size render of the photo
/// without text marks and watermark (what the canvas shows); the apply renders the photo at full
/// resolution, refines the mask there, and writes and burns in that composite, all on the work
/// pool. Results that arrive after the editor is gone are dropped. UI thread only.
class BackgroundTool : public EditorTool {
public:
    static constexpr double kJpegQuality = 0.95;

    /// With the ISNet engine.
    explicit BackgroundTool(EditorController& editor);
    /// Tests and benchmarks put in another segmentation.
    void setEngine(FreistellenEngine engine) { m_engine = std::move(engine); }

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::freisteller; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;
    /// "KI-Szene": start().
    void buttonPressed() override { start(); }
    /// "KI-Szene" is off while the mask is being computed.
    [[nodiscard]] bool buttonEnabled() const override { return !m_freistellerLaeuft && !m_baking; }
    /// "Anwenden" and "Abbrechen" of the result, shown while there is one.
    [[nodiscard]] QList<EditorToolbarEntry> extraButtons() override;
    [[nodiscard]] bool hasUnappliedResult() const override;
    void applyResult() override { apply(); }
    void discardResult() override { discard(); }
    [[nodiscard]] bool isBusy() const override { return m_isFreistellerAnwenden || m_baking; }
    /// A computation under way or a result not yet applied is what Ctrl+Z takes back first: the
    /// photo's edits stay as they are underneath it.
    [[nodiscard]] bool hasUnfinished() const override
    {
        return !m_isFreistellerAnwenden && (m_freistellerLaeuft || m_baking || m_freistellerMaske);
    }
    /// Ctrl+Z: as "Abbrechen".
    bool dropUnfinished() override;

    /// Enters the mode, bakes text marks (in the background), then computes the mask. Nothing
    /// while one runs or a result exists.
    void start();
    /// The colour picker: sets the colour, drops the background photo and composes again.
    void setColor(const QColor& color);
    /// "Transparent": on also drops the background photo; composes again.
    void setTransparent(bool on);
    /// "Foto wählen…": the open panel, then the photo, decoded in the background, as background
    /// (transparency off), or the error line.
    void chooseBackgroundPhoto();
    /// "Anwenden": asks where to write (a panel, or the photo's own file for a colour), then
    /// composites at full resolution, writes and burns the result into the photo in the
    /// background. Pressed while a chosen background photo still decodes, it waits for it.
    void apply();
    /// "Abbrechen" / "Verwerfen": the photo and the canvas show the photo's own edits again; a
    /// computation under way is dropped.
    void discard();

    // --- what the panel shows ---
    [[nodiscard]] bool freistellerLaeuft() const { return m_freistellerLaeuft; }
    [[nodiscard]] bool hasMask() const { return m_freistellerMaske.has_value(); }
    [[nodiscard]] const std::optional<QImage>& freistellerMaske() const { return m_freistellerMaske; }
    /// The display-size render the mask belongs to.
    [[nodiscard]] const std::optional<Image>& freistellerOriginalCI() const { return m_freistellerOriginalCI; }
    [[nodiscard]] const std::optional<Image>& freistellerHintergrundBild() const
    {
        return m_freistellerHintergrundBild;
    }
    /// True while a composite for the latest background choice is being made.
    [[nodiscard]] bool isComposing() const { return m_composing; }
    [[nodiscard]] const std::optional<QString>& freistellerFehler() const { return m_freistellerFehler; }
    [[nodiscard]] const QColor& freistellerFarbe() const { return m_freistellerFarbe; }
    [[nodiscard]] bool freistellerTransparent() const { return m_freistellerTransparent; }
    [[nodiscard]] bool hasBackgroundPhoto() const { return m_freistellerHintergrundBild.has_value(); }
    [[nodiscard]] bool isFreistellerAnwenden() const { return m_isFreistellerAnwenden; }
    /// The state lines of the panel ("KI berechnet die Maske – einen Moment...", ...).
    [[nodiscard]] QString statusLine() const;
    /// The bullet lines under the background choice.
    [[nodiscard]] QStringList noteLines() const;
    /// The file the background photo was read from (empty when none is set).
    [[nodiscard]] QString backgroundPhotoPath() const { return m_backgroundPath; }
    /// True while a chosen background photo is being decoded.
    [[nodiscard]] bool isLoadingBackground() const { return m_backgroundLoading; }

    /// What the apply task produces: the full-resolution composite, its encoded bytes (written
    /// already when a file was chosen), and the photo's new original (kept in the cache folder).
    struct Applied {
        Image composite;
        QByteArray bytes;
        SourceImage original;
    };
    /// What the mask task produces: the render the mask belongs to, and the mask.
    struct Masked {
        std::optional<Image> base;
        FreistellenEngine::MaskResult mask;
    };

private:
    void computeMask(quint64 run);
    void maskArrived(quint64 run, Masked result);
    void backgroundPhotoArrived(const QString& path, const QImage& raster);
    void dropPendingBackground();
    void recompose();
    void startApply();
    void applyFinished(std::expected<Applied, Error> result);
    [[nodiscard]] std::optional<QString> saveTarget();
    void burnIn(const Applied& applied);
    void restoreBefore();
    void resetResult();

    FreistellenEngine m_engine;
    std::optional<QImage> m_freistellerMaske;
    std::optional<Image> m_freistellerOriginalCI; ///< the render the mask belongs to
    QColor m_freistellerFarbe = Qt::white;
    bool m_freistellerTransparent = false;
    std::optional<Image> m_freistellerHintergrundBild;
    bool m_freistellerLaeuft = false;
    std::optional<QString> m_freistellerFehler;
    bool m_isFreistellerAnwenden = false;

    bool m_baking = false;    ///< text marks are being baked before the mask
    quint64 m_run = 0;        ///< the latest start; results of earlier ones are dropped
    quint64 m_composeRun = 0; ///< the latest composite asked for
    bool m_composing = false;
    quint64 m_backgroundChoice = 0; ///< the latest background choice
    bool m_backgroundLoading = false;
    bool m_applyWhenLoaded = false; ///< "Anwenden" came while the chosen photo was decoding
    QString m_backgroundPath;
    /// What the photo showed in the grid when the mode started.
    struct Before {
        std::optional<Preview> preview;
        std::optional<Image> filteredCI;
        QImage thumbnail;
    };
    std::optional<Before> m_before;
};

} // namespace lumora
