#include "app/editor/BackgroundTool.h"

#include "app/PanelTexts.h"
#include "app/editor/EditorController.h"
#include "base/AtomicFile.h"
#include "base/UiThread.h"
#include "cutout/EdgeRefinement.h"
#include "cutout/SegmentationModel.h"
#include "model/DisplayRender.h"
#include "model/ImageProcessor.h"
#include "pipeline/Compositing.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"
#include "platform/Dialogs.h"

#include <QFileInfo>
#include <QPainter>

#include <algorithm>
#include <cmath>
#include <utility>

namespace lumora {

namespace {

const QString kNoImage = QStringLiteral("Kein Bild verfügbar.");
const QString kNoSubject = QStringLiteral("Kein Motiv erkannt. Bitte ein anderes Bild verwenden.");
const QString kBackgroundUnreadable = QStringLiteral("Hintergrund-Bild konnte nicht geladen werden.");
const QString kBlendFailed = QStringLiteral("Compositing fehlgeschlagen.");

// A background photo for the live composite needs no more pixels than the display render.
constexpr int kBackgroundPreviewSide = 3200;

// The size a background of `background` pixels is decoded at for a live composite of `target`
// pixels: just large enough to cover it (fotoEinpassen scales it to fill the whole composite),
// so that a large JPEG shrinks on load instead of being decoded at several times that size.
QSize coveringSize(QSize background, QSize target)
{
    if (background.isEmpty() || target.isEmpty())
        return {kBackgroundPreviewSide, kBackgroundPreviewSide};
    const double scale =
        std::max(double(target.width()) / background.width(), double(target.height()) / background.height());
    return {int(std::ceil(background.width() * scale)), int(std::ceil(background.height() * scale))};
}

Error freistellerError(freistellerErrors::Code code)
{
    using enum freistellerErrors::Code;
    QString text;
    switch (code) {
    case renderFailed: text = QStringLiteral("Bild konnte nicht erstellt werden"); break;
    case destinationFailed: text = QStringLiteral("Destination konnte nicht erstellt werden"); break;
    case encodingFailed: text = QStringLiteral("Encoding fehlgeschlagen"); break;
    case blendFailed: text = kBlendFailed; break;
    }
    return Error{QString(freistellerErrors::domain), code, text};
}

/// The photo's edits as the background mode sees them: the watermark stays an edit of the photo
/// (drawn on export, never into the new original) and text marks are baked before.
EditState withoutMarks(EditState edits)
{
    edits.watermark.reset();
    edits.textMarks.clear();
    return edits;
}

// Everything the apply needs, copied on the UI thread.
struct ApplyJob {
    SourceImage original;
    EditState edits;
    QImage mask;
    bool transparent = false;
    QColor color;
    QString backgroundPath;
    std::optional<Image> background; ///< the display-size background when its file is unknown
    std::optional<QString> target;   ///< where the result is written; none: nowhere
    /// For the photo's own file: where it was loaded from, the one place the write may land.
    FilePlace loadedFrom{};
};

/// A composite that is written as JPEG, laid over white as the JPEG encoder lays translucent
/// pixels: what the canvas shows and what the photo keeps are then what the file holds.
Image opaque(Image composite)
{
    QImage flat(composite.raster.size(), QImage::Format_ARGB32_Premultiplied);
    flat.fill(Qt::white);
    QPainter painter(&flat);
    painter.drawImage(0, 0, composite.raster);
    painter.end();
    composite.raster = flat;
    return composite;
}

std::expected<QByteArray, Error> encodeResult(const Image& composite, bool transparent)
{
    using enum freistellerErrors::Code;
    auto bytes = transparent ? encodePNG(composite) : encodeJPEG(composite, BackgroundTool::kJpegQuality);
    if (bytes)
        return bytes;
    const int code = bytes.error().code;
    const bool destination = code == encoderErrors::jpegNoDestination || code == encoderErrors::pngNoDestination;
    const bool noImage = code == encoderErrors::jpegNoImage || code == encoderErrors::pngNoImage;
    return std::unexpected(freistellerError(destination ? destinationFailed : noImage ? renderFailed : encodingFailed));
}

std::expected<BackgroundTool::Applied, Error> runApply(const ApplyJob& job)
{
    using enum freistellerErrors::Code;
    const auto rendered = renderImage(job.original, withoutMarks(job.edits), 1.0);
    if (!rendered || rendered->isNull())
        return std::unexpected(freistellerError(renderFailed));
    // The mask was stretched from the model's grid to the display render: its edges are as
    // coarse as that grid, which sets the refinement's window.
    EdgeRefinementParams refinement;
    refinement.maskDetailSide = kSegmentationInputSize;
    const QImage refined = refineMask(job.mask, rendered->raster, refinement);

    std::optional<Image> background = job.background;
    if (!job.backgroundPath.isEmpty()) {
        auto source = SourceImage::fromFile(job.backgroundPath);
        auto raster = source ? source->decode() : std::expected<QImage, Error>(std::unexpected(source.error()));
        if (raster)
            background = Image{*raster, QRectF(QPointF(0, 0), QSizeF(raster->size()))};
    }
    const std::optional<QColor> color = job.transparent ? std::nullopt : std::optional<QColor>(job.color);
    auto composite = hintergrundErsetzen(*rendered, refined, color, background);
    if (!composite)
        return std::unexpected(freistellerError(blendFailed));
    if (!job.transparent)
        composite = opaque(std::move(*composite));
    auto bytes = encodeResult(*composite, job.transparent);
    if (!bytes)
        return std::unexpected(bytes.error());
    if (job.target) {
        if (job.target->isEmpty())
            return std::unexpected(Error{QString(freistellerErrors::domain), destinationFailed,
                                         QStringLiteral("Das Foto hat keine Datei.")});
        const WriteRules rules{LinkAtTarget::follow, ExistingFile::replace, job.loadedFrom};
        if (auto written = writeFileAtomically(*job.target, *bytes, rules); !written)
            return std::unexpected(written.error());
    }
    SourceImage original = SourceImage::fromRasterInCache(composite->raster);
    return BackgroundTool::Applied{std::move(*composite), std::move(*bytes), std::move(original)};
}

struct Composed {
    Image composite;
    Preview preview;
};

std::optional<Composed> compose(const Image& base, const QImage& mask, std::optional<QColor> color,
                                const std::optional<Image>& background)
{
    auto composite = hintergrundErsetzen(base, mask, color, background);
    if (!composite)
        return std::nullopt;
    if (color || background) // written as JPEG: shown as it will be written, without a checkerboard
        composite = opaque(std::move(*composite));
    auto preview = makePreview(*composite);
    if (!preview)
        return std::nullopt;
    return Composed{std::move(*composite), std::move(*preview)};
}

} // namespace

BackgroundTool::BackgroundTool(EditorController& editor) : EditorTool(editor)
{
}

ToolButton BackgroundTool::button() const
{
    return {QStringLiteral("sparkles"), QStringLiteral("KI-Szene"), 2};
}

QString BackgroundTool::hint() const
{
    return statusLine();
}

QList<EditorToolbarEntry> BackgroundTool::extraButtons()
{
    EditorToolbarEntry apply{QStringLiteral("checkmark.circle.fill"), QStringLiteral("Anwenden"), 0,
                             [this] { this->apply(); }};
    apply.enabled = [this] { return !m_freistellerLaeuft && !m_isFreistellerAnwenden; };
    apply.visible = [this] { return m_editor.drawingMode() == DrawingMode::freisteller && m_freistellerMaske; };
    EditorToolbarEntry cancel{QStringLiteral("xmark.circle"), QStringLiteral("Abbrechen"), 0, [this] { discard(); }};
    cancel.enabled = [this] { return !m_isFreistellerAnwenden; };
    cancel.visible = apply.visible;
    return {apply, cancel};
}

bool BackgroundTool::hasUnappliedResult() const
{
    return m_freistellerMaske && !m_isFreistellerAnwenden;
}

QString BackgroundTool::statusLine() const
{
    if (m_baking || m_freistellerLaeuft)
        return QStringLiteral("KI berechnet die Maske – einen Moment...");
    if (m_isFreistellerAnwenden)
        return QStringLiteral("Hintergrund wird angewendet …");
    if (!m_freistellerMaske)
        return m_freistellerFehler ? QStringLiteral("„KI-Szene“ startet einen neuen Versuch")
                                   : QStringLiteral("KI-Freisteller wird vorbereitet...");
    return QStringLiteral("Hintergrund wählen – „Anwenden“ brennt ihn ins Bild ein");
}

QStringList BackgroundTool::noteLines() const
{
    QStringList lines;
    if (m_freistellerTransparent)
        lines.append(QStringLiteral("• wird als PNG neben dem Original gespeichert"));
    if (m_freistellerHintergrundBild)
        lines.append(QStringLiteral("• Foto-Hintergrund aktiv"));
    return lines;
}

// --- start and the mask ---

void BackgroundTool::start()
{
    if (m_freistellerLaeuft || m_baking || m_freistellerMaske || m_isFreistellerAnwenden)
        return;
    // Entering the mode first commits what another tool is editing (a typed text, an arrow):
    // the bake below then has it.
    m_editor.setMode(DrawingMode::freisteller);
    if (m_editor.drawingMode() != DrawingMode::freisteller)
        return;
    const quint64 run = ++m_run;
    m_freistellerFehler.reset();
    m_freistellerLaeuft = true;
    const PhotoItem* found = m_editor.photo();
    if (!found || found->edits.textMarks.isEmpty()) {
        computeMask(run);
        changed();
        return;
    }
    // Baking the text marks renders the photo at full size and writes it to the cache: it runs
    // in the background, and the mask follows it.
    m_baking = true;
    m_editor.processor().flattenEditsInBackground(m_editor.photoId(), found->edits.textMarks, &m_editor,
                                                  [this, run](bool) {
                                                      m_baking = false;
                                                      if (run == m_run && !m_editor.isClosing())
                                                          computeMask(run);
                                                      else
                                                          m_freistellerLaeuft = false;
                                                      finished();
                                                  });
    changed();
}

void BackgroundTool::computeMask(quint64 run)
{
    const PhotoItem* found = m_editor.photo();
    if (!found) {
        m_freistellerLaeuft = false;
        m_freistellerFehler = kNoImage;
        return;
    }
    m_before = Before{found->preview, found->filteredCI, found->thumbnail};
    m_freistellerLaeuft = true;
    // The photo on screen is the base when it shows these edits: no second decode and render.
    const EditState edits = withoutMarks(found->edits);
    runInBackground(
        &m_editor,
        [original = found->originalCI, edits, shown = displayRenderOf(*found, edits), engine = m_engine]() -> Masked {
            auto base = shown ? std::expected<Image, Error>(*shown)
                              : renderImage(original, edits, displayScale(original.size(), kDisplayRenderSide));
            if (!base || base->isNull())
                return {std::nullopt, std::unexpected(base ? Error{} : base.error())};
            return {*base, engine.segmentNow(base->raster)};
        },
        [this, run](Masked result) { maskArrived(run, std::move(result)); });
}

void BackgroundTool::maskArrived(quint64 run, Masked result)
{
    if (run != m_run)
        return; // discarded meanwhile
    m_freistellerLaeuft = false;
    if (result.base && result.mask) {
        m_freistellerMaske = std::move(*result.mask);
        m_freistellerOriginalCI = std::move(result.base);
        recompose();
        changed();
        return;
    }
    // The reason stays in the panel, in the mode, where the user looks. A missing or unusable
    // model is said as such: "no subject" would send the user looking for another photo.
    using enum segmentationErrors::Code;
    const int code = result.base ? result.mask.error().code : 0;
    m_freistellerFehler = !result.base                                    ? kNoImage
                          : code == modelMissing || code == modelUnusable ? result.mask.error().description
                                                                          : kNoSubject;
    m_before.reset();
    changed();
}

// --- the background choice ---

void BackgroundTool::recompose()
{
    if (!m_freistellerOriginalCI || !m_freistellerMaske)
        return;
    const quint64 token = ++m_composeRun;
    m_composing = true;
    const std::optional<QColor> color =
        m_freistellerTransparent ? std::nullopt : std::optional<QColor>(m_freistellerFarbe);
    runInBackground(
        &m_editor,
        [base = *m_freistellerOriginalCI, mask = *m_freistellerMaske, color,
         background = m_freistellerHintergrundBild] { return compose(base, mask, color, background); },
        [this, token](std::optional<Composed> composed) {
            if (token != m_composeRun)
                return; // a newer choice is on its way
            m_composing = false;
            const PhotoItem* found = m_editor.photo();
            if (!composed || !found || !m_freistellerMaske) {
                changed();
                return;
            }
            // The grid shows the composite while the mode is open; its preview no longer shows
            // the photo's edits, so the next refresh renders them again.
            PhotoItem changedPhoto = *found;
            changedPhoto.preview = composed->preview;
            changedPhoto.filteredCI = composed->composite;
            changedPhoto.thumbnail = thumbnailOf(composed->preview.bitmap);
            changedPhoto.renderedFrom.reset();
            m_editor.processor().updatePhoto(changedPhoto);
            m_editor.showInstead(composed->preview.bitmap);
            changed();
        });
}

void BackgroundTool::setColor(const QColor& color)
{
    m_freistellerFarbe = color;
    m_freistellerHintergrundBild.reset();
    m_backgroundPath.clear();
    dropPendingBackground();
    recompose();
    changed();
}

void BackgroundTool::setTransparent(bool on)
{
    m_freistellerTransparent = on;
    if (on) {
        m_freistellerHintergrundBild.reset();
        m_backgroundPath.clear();
        dropPendingBackground();
    }
    recompose();
    changed();
}

void BackgroundTool::chooseBackgroundPhoto()
{
    OpenPanelRequest request;
    request.title = QStringLiteral("Hintergrund-Foto wählen");
    if (const PhotoItem* found = m_editor.photo(); found && found->url.isLocalFile())
        request.startFolder = QFileInfo(found->url.toLocalFile()).absolutePath();
    request.nameFilters = {panelTexts::photoFileFilter()};
    request.multipleSelection = false;
    const QStringList files = m_editor.dialogs().chooseFiles(request);
    if (files.isEmpty())
        return;
    const QSize shown = m_freistellerOriginalCI ? m_freistellerOriginalCI->raster.size() : QSize();
    // Decoding a camera photo takes about a tenth of a second even shrunk on load: the
    // editor stays live meanwhile, and any later choice of background wins over this one.
    const quint64 choice = ++m_backgroundChoice;
    m_backgroundLoading = true;
    runInBackground(
        &m_editor,
        [path = files.constFirst(), shown]() -> std::expected<QImage, Error> {
            auto source = SourceImage::fromFile(path);
            if (!source)
                return std::unexpected(source.error());
            return source->decodeToFit(coveringSize(source->size(), shown));
        },
        [this, choice, path = files.constFirst()](std::expected<QImage, Error> raster) {
            if (choice != m_backgroundChoice)
                return;
            m_backgroundLoading = false;
            const bool loaded = raster && !raster->isNull();
            backgroundPhotoArrived(path, loaded ? *raster : QImage());
            if (std::exchange(m_applyWhenLoaded, false)) {
                if (loaded)
                    startApply();
                else
                    m_isFreistellerAnwenden = false;
                finished();
            }
        });
    changed();
}

void BackgroundTool::backgroundPhotoArrived(const QString& path, const QImage& raster)
{
    if (raster.isNull()) {
        m_freistellerFehler = kBackgroundUnreadable;
        changed();
        return;
    }
    m_freistellerFehler.reset();
    m_freistellerHintergrundBild = Image{raster, QRectF(QPointF(0, 0), QSizeF(raster.size()))};
    m_backgroundPath = path;
    // A background photo and transparency exclude each other: the photo is what was chosen last.
    m_freistellerTransparent = false;
    recompose();
    changed();
}

void BackgroundTool::dropPendingBackground()
{
    ++m_backgroundChoice;
    m_backgroundLoading = false;
    m_applyWhenLoaded = false;
}

// --- apply ---

void BackgroundTool::apply()
{
    if (m_isFreistellerAnwenden || !m_freistellerMaske || !m_freistellerOriginalCI)
        return;
    m_isFreistellerAnwenden = true;
    if (m_backgroundLoading) { // the photo just chosen is written, not the background before it
        m_applyWhenLoaded = true;
        changed();
        return;
    }
    startApply();
}

void BackgroundTool::startApply()
{
    const PhotoItem* found = m_editor.photo();
    if (!found || !m_freistellerMaske) {
        m_isFreistellerAnwenden = false;
        changed();
        return;
    }
    // Where to write is asked first; cancelling the panel writes nothing, and the result is
    // burnt in all the same.
    const std::optional<QString> target = saveTarget();
    found = m_editor.photo();
    if (!found || !m_freistellerMaske) {
        m_isFreistellerAnwenden = false;
        changed();
        return;
    }
    ApplyJob job{found->originalCI,  found->edits,     *m_freistellerMaske,          m_freistellerTransparent,
                 m_freistellerFarbe, m_backgroundPath, m_freistellerHintergrundBild, target};
    // Over the photo's own file (a colour) the write lands only where the photo was loaded from.
    if (!m_freistellerTransparent && !m_freistellerHintergrundBild)
        job.loadedFrom = ownFileTarget(found->url, found->loadedFrom, found->cameraRawFile).place;
    runInBackground(
        &m_editor, [job = std::move(job)] { return runApply(job); },
        [this](std::expected<Applied, Error> result) { applyFinished(std::move(result)); });
    changed();
}

std::optional<QString> BackgroundTool::saveTarget()
{
    const PhotoItem* found = m_editor.photo();
    const QFileInfo file(found && found->url.isLocalFile() ? found->url.toLocalFile() : QString());
    if (!m_freistellerTransparent && !m_freistellerHintergrundBild) {
        // A colour: the photo's own file (a camera RAW file's JPEG beside it).
        if (file.filePath().isEmpty())
            return QString();
        return ownFileTarget(QUrl::fromLocalFile(file.absoluteFilePath()), found->loadedFrom, found->cameraRawFile)
            .path;
    }
    SavePanelRequest request;
    request.startFolder = file.absolutePath();
    request.canCreateFolders = true;
    if (m_freistellerTransparent) {
        request.title = QStringLiteral("PNG mit Transparenz speichern");
        request.proposedName = file.completeBaseName() + QStringLiteral(".png");
        request.nameFilters = {QStringLiteral("PNG-Bild (*.png)")};
    } else {
        request.title = QStringLiteral("Bild mit Foto-Hintergrund speichern");
        request.proposedName = file.completeBaseName() + QStringLiteral("-mit-hintergrund.jpg");
        request.nameFilters = {QStringLiteral("JPEG-Bild (*.jpg *.jpeg)")};
    }
    return m_editor.dialogs().chooseSaveFile(request);
}

void BackgroundTool::applyFinished(std::expected<Applied, Error> result)
{
    if (!result) {
        const bool blend =
            result.error().domain == freistellerErrors::domain && result.error().code == freistellerErrors::blendFailed;
        m_freistellerFehler =
            blend ? kBlendFailed : QStringLiteral("Speichern fehlgeschlagen: ") + result.error().description;
        m_isFreistellerAnwenden = false; // the result stays
        finished();
        return;
    }
    burnIn(*result);
    finished();
}

void BackgroundTool::burnIn(const Applied& applied)
{
    // replaceImage gives the photo the composite as its original with neutral edits (no turn,
    // no mirrors, no annotations) and renders its display images from it.
    m_editor.processor().replaceImage(m_editor.photoId(), applied.original);
    resetResult();
    m_isFreistellerAnwenden = false;
    m_editor.setMode(DrawingMode::rectangle);
}

// --- discard ---

void BackgroundTool::discard()
{
    ++m_run; // a computation under way is dropped, not shown later
    m_freistellerLaeuft = false;
    dropPendingBackground();
    if (m_freistellerMaske)
        restoreBefore();
    resetResult();
    m_freistellerFehler.reset();
    m_editor.setMode(DrawingMode::rectangle);
    changed();
}

bool BackgroundTool::dropUnfinished()
{
    if (!hasUnfinished())
        return false;
    discard();
    return true;
}

void BackgroundTool::resetResult()
{
    ++m_composeRun;
    m_composing = false;
    m_freistellerMaske.reset();
    m_freistellerOriginalCI.reset();
    m_freistellerTransparent = false;
    m_freistellerFarbe = Qt::white;
    m_before.reset();
    m_editor.showInstead(QImage());
}

void BackgroundTool::restoreBefore()
{
    const PhotoItem* found = m_editor.photo();
    if (!found || !m_before)
        return;
    PhotoItem restored = *found;
    restored.preview = m_before->preview;
    restored.filteredCI = m_before->filteredCI;
    restored.thumbnail = m_before->thumbnail;
    restored.renderedFrom.reset();
    m_editor.processor().updatePhoto(restored);
    // What was shown before may itself have been on its way to a newer render: the photo's
    // display images are rendered again from its edits, so the card never keeps the composite.
    m_editor.processor().refreshPreviews();
}

} // namespace lumora
