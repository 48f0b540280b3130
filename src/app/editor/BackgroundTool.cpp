#include "app/editor/BackgroundTool.h"

#include "app/editor/EditorController.h"
#include "base/AtomicFile.h"
#include "base/UiThread.h"
#include "cutout/EdgeRefinement.h"
#include "cutout/SegmentationModel.h"
#include "model/ImageProcessor.h"
#include "pipeline/Compositing.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"
#include "platform/Dialogs.h"

#include <QFileInfo>

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

// Everything the apply needs, copied on the UI thread.
struct ApplyJob {
    SourceImage original;
    EditState edits;
    QImage mask;
    bool transparent = false;
    QColor color;
    QString backgroundPath;
    std::optional<Image> background; ///< the display-size background when its file is unknown
};

std::expected<BackgroundTool::Applied, Error> runApply(const ApplyJob& job)
{
    using enum freistellerErrors::Code;
    // The watermark stays an edit of the photo (replaceImage keeps it): it is not burnt in.
    EditState edits = job.edits;
    edits.watermark.reset();
    edits.textMarks.clear();
    const auto rendered = renderImage(job.original, edits, 1.0);
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
    auto bytes = job.transparent ? encodePNG(*composite) : encodeJPEG(*composite, BackgroundTool::kJpegQuality);
    if (!bytes) {
        const bool destination = bytes.error().code == encoderErrors::jpegNoDestination
                                 || bytes.error().code == encoderErrors::pngNoDestination;
        const bool noImage =
            bytes.error().code == encoderErrors::jpegNoImage || bytes.error().code == encoderErrors::pngNoImage;
        return std::unexpected(freistellerError(destination ? destinationFailed
                                                : noImage   ? renderFailed
                                                            : encodingFailed));
    }
    SourceImage original = SourceImage::fromRasterInCache(composite->raster);
    return BackgroundTool::Applied{std::move(*composite), std::move(*bytes), std::move(original)};
}

} // namespace

BackgroundTool::BackgroundTool(EditorController& editor) : EditorTool(editor)
{
    m_editor.setBackgroundActions({[this] { apply(); }, [this] { discard(); }});
    // A preview render that was under way when the composite arrived must not cover it.
    QObject::connect(&m_editor, &EditorController::previewChanged, &m_editor, [this] {
        EditorState& s = m_editor.state();
        if (s.freistellerMaske && !m_shownComposite.isNull()
            && (!s.editorPreview || s.editorPreview->cacheKey() != m_shownComposite.cacheKey()))
            s.editorPreview = m_shownComposite;
    });
}

QString BackgroundTool::hint() const
{
    return statusLine();
}

QString BackgroundTool::statusLine() const
{
    const EditorState& s = m_editor.state();
    if (s.freistellerLaeuft)
        return QStringLiteral("KI berechnet die Maske – einen Moment...");
    if (!s.freistellerMaske)
        return QStringLiteral("KI-Freisteller wird vorbereitet...");
    return QStringLiteral("Hintergrund wählen – „Anwenden“ brennt ihn ins Bild ein");
}

QStringList BackgroundTool::noteLines() const
{
    const EditorState& s = m_editor.state();
    QStringList lines;
    if (s.freistellerTransparent)
        lines.append(QStringLiteral("• wird als PNG neben dem Original gespeichert"));
    if (s.freistellerHintergrundBild)
        lines.append(QStringLiteral("• Foto-Hintergrund aktiv"));
    return lines;
}

void BackgroundTool::notify()
{
    Q_EMIT m_editor.changed();
}

// --- start and the mask ---

void BackgroundTool::start()
{
    EditorState& s = m_editor.state();
    if (s.freistellerLaeuft)
        return;
    const quint64 run = ++m_run;
    const PhotoItem* found = m_editor.photo();
    if (!found || found->edits.textMarks.isEmpty()) {
        computeMask(run, false);
        return;
    }
    // Baking the text marks renders the photo at full size and writes it to the cache: it runs
    // in the background as the first part of the computation, and the mask follows it.
    const DrawingMode previous = s.drawingMode;
    markRunning();
    auto baked = [this, run, previous](bool taken) {
        if (run != m_run)
            return; // discarded meanwhile
        m_editor.state().freistellerLaeuft = false;
        if (taken)
            computeMask(run, true);
        if (!m_editor.state().freistellerLaeuft) // nothing computes: the photo changed or has no render
            m_editor.setMode(previous);
        notify();
    };
    m_editor.processor().flattenEditsInBackground(m_editor.photoId(), found->edits.textMarks, &m_editor,
                                                  std::move(baked));
    notify();
}

void BackgroundTool::computeMask(quint64 run, bool flattened)
{
    EditorState& s = m_editor.state();
    const PhotoItem* found = m_editor.photo();
    if (!found || !found->preview || found->preview->bitmap.isNull() || !found->filteredCI) {
        s.freistellerFehler = kNoImage;
        notify();
        return;
    }
    // Text marks were drawn live over the old preview; after baking only the new one shows them.
    m_before = Before{found->preview, found->filteredCI, found->thumbnail, flattened ? std::nullopt : s.editorPreview};
    s.freistellerOriginalCI = found->filteredCI;
    markRunning();
    m_engine.maskeErzeugen(found->preview->bitmap, &m_editor, [this, run](FreistellenEngine::MaskResult result) {
        if (run == m_run) // a discarded computation's mask is dropped
            maskArrived(std::move(result));
    });
    notify();
}

void BackgroundTool::markRunning()
{
    EditorState& s = m_editor.state();
    s.freistellerLaeuft = true;
    s.freistellerFehler.reset();
    m_editor.setMode(DrawingMode::freisteller);
}

void BackgroundTool::maskArrived(FreistellenEngine::MaskResult result)
{
    EditorState& s = m_editor.state();
    s.freistellerLaeuft = false;
    if (result) {
        s.freistellerMaske = std::move(*result);
        recompose();
        notify();
        return;
    }
    // A missing or unusable model is said as such: "no subject" would send the user looking
    // for another photo.
    using enum segmentationErrors::Code;
    const int code = result.error().code;
    s.freistellerFehler = code == modelMissing || code == modelUnusable ? result.error().description : kNoSubject;
    s.freistellerOriginalCI.reset();
    m_before.reset();
    m_editor.setMode(DrawingMode::rectangle);
    notify();
}

// --- the background choice ---

void BackgroundTool::recompose()
{
    EditorState& s = m_editor.state();
    const PhotoItem* found = m_editor.photo();
    if (!s.freistellerOriginalCI || !s.freistellerMaske || !found)
        return;
    const std::optional<QColor> color =
        s.freistellerTransparent ? std::nullopt : std::optional<QColor>(s.freistellerFarbe);
    const auto composite =
        hintergrundErsetzen(*s.freistellerOriginalCI, *s.freistellerMaske, color, s.freistellerHintergrundBild);
    if (!composite)
        return;
    auto preview = makePreview(*composite);
    if (!preview)
        return;
    PhotoItem changed = *found;
    changed.preview = *preview;
    changed.filteredCI = *composite;
    changed.thumbnail = thumbnailOf(preview->bitmap);
    m_shownComposite = preview->bitmap;
    s.editorPreview = preview->bitmap;
    m_editor.processor().updatePhoto(changed);
    Q_EMIT m_editor.previewChanged();
}

void BackgroundTool::setColor(const QColor& color)
{
    EditorState& s = m_editor.state();
    s.freistellerFarbe = color;
    s.freistellerHintergrundBild.reset();
    m_backgroundPath.clear();
    dropPendingBackground();
    recompose();
    notify();
}

void BackgroundTool::setTransparent(bool on)
{
    EditorState& s = m_editor.state();
    s.freistellerTransparent = on;
    if (on) {
        s.freistellerHintergrundBild.reset();
        m_backgroundPath.clear();
        dropPendingBackground();
    }
    recompose();
    notify();
}

void BackgroundTool::chooseBackgroundPhoto()
{
    OpenPanelRequest request;
    request.title = QStringLiteral("Hintergrund-Foto wählen");
    if (const PhotoItem* found = m_editor.photo(); found && found->url.isLocalFile())
        request.startFolder = QFileInfo(found->url.toLocalFile()).absolutePath();
    request.nameFilters = {QStringLiteral("Bilder (*.jpg *.jpeg *.png *.heic *.heif *.tif *.tiff *.webp)")};
    request.multipleSelection = false;
    const QStringList files = m_editor.dialogs().chooseFiles(request);
    if (files.isEmpty())
        return;
    const EditorState& s = m_editor.state();
    const QSize shown = s.freistellerOriginalCI ? s.freistellerOriginalCI->raster.size() : QSize();
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
                if (loaded) {
                    apply();
                } else {
                    callOffApply();
                    notify();
                }
            }
        });
    notify();
}

void BackgroundTool::backgroundPhotoArrived(const QString& path, const QImage& raster)
{
    EditorState& s = m_editor.state();
    if (raster.isNull()) {
        s.freistellerFehler = kBackgroundUnreadable;
        notify();
        return;
    }
    s.freistellerFehler.reset();
    s.freistellerHintergrundBild = Image{raster, QRectF(QPointF(0, 0), QSizeF(raster.size()))};
    m_backgroundPath = path;
    recompose();
    notify();
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
    EditorState& s = m_editor.state();
    const PhotoItem* found = m_editor.photo();
    s.isFreistellerAnwenden = true;
    if (m_backgroundLoading) { // the photo just chosen is written, not the background before it
        m_applyWhenLoaded = true;
        notify();
        return;
    }
    if (!s.freistellerMaske || !s.freistellerOriginalCI || !found) {
        s.isFreistellerAnwenden = false;
        notify();
        return;
    }
    ApplyJob job{found->originalCI,  found->edits,     *s.freistellerMaske,         s.freistellerTransparent,
                 s.freistellerFarbe, m_backgroundPath, s.freistellerHintergrundBild};
    runInBackground(
        &m_editor, [job = std::move(job)] { return runApply(job); },
        [this](std::expected<Applied, Error> result) { applyFinished(std::move(result)); });
    notify();
}

std::optional<QString> BackgroundTool::saveTarget()
{
    const EditorState& s = m_editor.state();
    const PhotoItem* found = m_editor.photo();
    const QFileInfo file(found ? found->url.toLocalFile() : QString());
    if (!s.freistellerTransparent && !s.freistellerHintergrundBild)
        return file.absoluteFilePath(); // the colour case writes over the photo's own file
    SavePanelRequest request;
    request.startFolder = file.absolutePath();
    request.canCreateFolders = true;
    if (s.freistellerTransparent) {
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
    EditorState& s = m_editor.state();
    std::optional<Error> failure;
    if (!result) {
        failure = result.error();
    } else if (const std::optional<QString> target = saveTarget()) {
        if (target->isEmpty())
            failure = Error{QString(freistellerErrors::domain), freistellerErrors::destinationFailed,
                            QStringLiteral("Das Foto hat keine Datei.")};
        else if (auto written = writeFileAtomically(*target, result->bytes); !written)
            failure = written.error();
    }
    if (failure) {
        const bool blend =
            failure->domain == freistellerErrors::domain && failure->code == freistellerErrors::blendFailed;
        s.freistellerFehler =
            blend ? kBlendFailed : QStringLiteral("Speichern fehlgeschlagen: ") + failure->description;
        callOffApply();
        notify();
        return;
    }
    burnIn(*result);
    m_editor.finishPendingClose();
}

void BackgroundTool::callOffApply()
{
    // The result stays; a pending close or mode switch is called off, so the line is seen.
    EditorState& s = m_editor.state();
    s.isFreistellerAnwenden = false;
    s.wartenAufSchliessen = false;
    s.geplanterModusWechsel.reset();
    if (s.freistellerMaske)
        s.drawingMode = DrawingMode::freisteller;
}

void BackgroundTool::burnIn(const Applied& applied)
{
    EditorState& s = m_editor.state();
    ImageProcessor& processor = m_editor.processor();
    // replaceImage gives the photo the composite as its original with neutral edits (no turn,
    // no mirrors, no annotations) and renders its display images from it.
    processor.replaceImage(m_editor.photoId(), applied.original);
    if (const PhotoItem* found = m_editor.photo(); found && found->preview)
        s.editorPreview = found->preview->bitmap;
    s.freistellerMaske.reset();
    s.freistellerOriginalCI.reset();
    s.freistellerTransparent = false;
    s.freistellerFarbe = Qt::white;
    s.isFreistellerAnwenden = false;
    m_before.reset();
    m_shownComposite = {};
    if (!s.geplanterModusWechsel && s.drawingMode == DrawingMode::freisteller)
        m_editor.setMode(DrawingMode::rectangle);
    Q_EMIT m_editor.previewChanged();
    notify();
}

// --- discard ---

void BackgroundTool::discard()
{
    EditorState& s = m_editor.state();
    ++m_run; // a computation under way is dropped, not shown later
    s.freistellerLaeuft = false;
    dropPendingBackground();
    if (s.freistellerOriginalCI)
        restoreBefore();
    s.freistellerMaske.reset();
    s.freistellerOriginalCI.reset();
    s.freistellerTransparent = false;
    s.freistellerFarbe = Qt::white;
    m_before.reset();
    m_shownComposite = {};
    m_editor.setMode(DrawingMode::rectangle);
    Q_EMIT m_editor.previewChanged();
    notify();
}

void BackgroundTool::restoreBefore()
{
    EditorState& s = m_editor.state();
    const PhotoItem* found = m_editor.photo();
    if (!found)
        return;
    PhotoItem restored = *found;
    if (m_before) {
        restored.preview = m_before->preview;
        restored.filteredCI = m_before->filteredCI;
        restored.thumbnail = m_before->thumbnail;
    } else {
        restored.filteredCI = s.freistellerOriginalCI;
        restored.preview = makePreview(*s.freistellerOriginalCI);
    }
    m_editor.processor().updatePhoto(restored);
    if (m_before && m_before->editorPreview)
        s.editorPreview = m_before->editorPreview;
    else if (restored.preview)
        s.editorPreview = restored.preview->bitmap;
}

} // namespace lumora
