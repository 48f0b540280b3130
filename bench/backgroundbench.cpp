// The background mode of the editor sheet on a 24 MP photo: "KI-Szene" until the first composite
// is painted, each background change until its recompose is painted, "Anwenden" until the file
// is written, each with the stages it is made of.
//
//   lumora-backgroundbench [--json] <photo.jpg> <background.jpg>
//
// Works on copies of <photo.jpg> in a temporary folder (the colour apply writes over the photo's
// own file). Three rounds, each on a fresh copy in a new sheet (1280 × 760 window):
//   1. "KI-Szene" with the model not loaded yet; then cycles of background changes through the
//      panel (a colour, "Transparent" on, off, "Foto wählen…"); "Anwenden" with transparency (PNG).
//   2. "KI-Szene" on the photo with a text mark (baked first); "Anwenden" with a colour (JPEG
//      over the photo's file).
//   3. "KI-Szene" with the model loaded; "Anwenden" with the background photo (JPEG).
// While a mask computes, a 5 ms timer on the UI thread measures how long the thread is blocked
// (the longest gap between its ticks). The stages are timed again afterwards on the same inputs
// by calling the pipeline's functions one by one. Run under xvfb-run or QT_QPA_PLATFORM=offscreen.
#include "app/editor/BackgroundTool.h"
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
#include "ui/Theme.h"
#include "ui/editor/ColorButton.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/EditorIconButton.h"
#include "ui/editor/ZoomableImageEditor.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <utility>

using namespace lumora;

namespace {

// Answers the panel's colour chooser, the background photo's open panel and the save panels.
class ScriptedDialogs : public Dialogs {
public:
    QString backgroundPhoto;
    QString saveTo;
    QStringList colors{QStringLiteral("3366CC"), QStringLiteral("CC3344"), QStringLiteral("22AA66")};
    int colorIndex = 0;
    QElapsedTimer* clock = nullptr;
    double savePanelAt = -1; ///< when the save panel was asked for (the apply's task was done)

    std::optional<QString> chooseFolder(const FolderPanelRequest&) override { return std::nullopt; }
    QStringList chooseFiles(const OpenPanelRequest&) override { return {backgroundPhoto}; }
    std::optional<int> ask(const QuestionRequest&) override { return std::nullopt; }
    void inform(const QString&, const QString&) override {}
    std::optional<QString> chooseColor(const ColorPanelRequest&) override
    {
        return colors[colorIndex++ % colors.size()];
    }
    std::optional<QString> chooseSaveFile(const SavePanelRequest&) override
    {
        if (clock)
            savePanelAt = double(clock->nsecsElapsed()) / 1e6;
        return saveTo;
    }
};

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

template <class F>
double timed(F&& f)
{
    QElapsedTimer t;
    t.start();
    f();
    return ms(t);
}

/// Sleeps in the event loop until `done`: a loop that polls would take one of the cores the
/// mask and the apply run on. A 20 ms timer looks again in case no event comes.
void waitUntil(const std::function<bool()>& done)
{
    QTimer backstop;
    backstop.start(20);
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

double maxOf(const QList<double>& values)
{
    return values.isEmpty() ? 0 : *std::max_element(values.begin(), values.end());
}

/// A 5 ms timer on the UI thread; the longest gap between its ticks is the longest time the
/// thread could not answer.
class StallMeter {
public:
    StallMeter()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const double now = ms(m_clock);
            m_longest = std::max(m_longest, now - m_last);
            m_last = now;
            ++m_ticks;
        });
    }
    void start()
    {
        m_longest = 0;
        m_ticks = 0;
        m_clock.start();
        m_last = 0;
        m_timer.start();
    }
    /// The longest gap, counting the time since the last tick.
    double stop()
    {
        m_longest = std::max(m_longest, ms(m_clock) - m_last);
        m_timer.stop();
        return m_longest;
    }
    [[nodiscard]] int ticks() const { return m_ticks; }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    double m_last = 0;
    double m_longest = 0;
    int m_ticks = 0;
};

struct KiSzene {
    double blocked = 0;     ///< the button's click returned (text marks baked, task started)
    double maskArrived = 0; ///< the composite was made (previewChanged)
    double painted = 0;     ///< the canvas painted it
    double inference = 0;   ///< isnetMask on the worker (model input, inference, stretch back)
    double stall = 0;       ///< longest gap of the UI thread's 5 ms timer
    int ticks = 0;
};

struct Sheet {
    ZoomableImageEditor* sheet = nullptr;
    EditorController* editor = nullptr;
    BackgroundTool* tool = nullptr;
};

Sheet openSheet(ImageProcessor& processor, const QUuid& id, Dialogs& dialogs, LupenFensterManager& magnifiers)
{
    Sheet s;
    s.sheet = new ZoomableImageEditor(processor, id, dialogs, magnifiers, {1280, 760});
    s.sheet->show();
    s.editor = &s.sheet->editor();
    s.tool = dynamic_cast<BackgroundTool*>(s.editor->tool(DrawingMode::freisteller)); // the bench times this tool
    waitUntil([&] { return s.editor->editorPreview().has_value(); });
    s.sheet->canvas()->repaint();
    QCoreApplication::processEvents();
    return s;
}

void closeSheet(ImageProcessor& processor, Sheet& s)
{
    s.editor->close();
    waitUntil([&] { return !processor.isBusy(); });
    workPool().waitForDone();
    QCoreApplication::processEvents();
}

/// Clicks "KI-Szene" and waits until the composite is painted, with the UI thread's stalls.
KiSzene pressKiSzene(Sheet& s)
{
    KiSzene result;
    auto inference = std::make_shared<std::atomic<double>>(0);
    s.tool->setEngine(FreistellenEngine([inference](const QImage& bitmap) {
        QElapsedTimer t;
        t.start();
        auto mask = isnetMask(bitmap);
        inference->store(ms(t));
        return mask;
    }));
    StallMeter meter;
    meter.start();
    // A few quiet ticks first, so the gaps below are the editor's.
    QElapsedTimer settle;
    settle.start();
    while (ms(settle) < 30)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    bool arrived = false;
    QElapsedTimer t;
    const auto connection = QObject::connect(s.editor, &EditorController::previewChanged, [&] {
        if (!arrived && s.tool->hasMask() && !s.tool->isComposing()) {
            arrived = true;
            result.maskArrived = ms(t);
        }
    });
    t.start();
    s.sheet->button(QStringLiteral("KI-Szene"))->click();
    result.blocked = ms(t);
    waitUntil([&] { return arrived || (!s.tool->freistellerLaeuft() && !s.tool->hasMask()); });
    s.sheet->canvas()->repaint();
    result.painted = ms(t);
    result.stall = meter.stop();
    result.ticks = meter.ticks();
    result.inference = inference->load();
    QObject::disconnect(connection);
    if (!arrived)
        std::fprintf(stderr, "no mask: %s\n", qPrintable(s.tool->freistellerFehler().value_or(QString())));
    QCoreApplication::processEvents();
    return result;
}

void printKiSzene(const char* label, const KiSzene& k)
{
    std::printf("KI-Szene %s: composite painted %.0f ms (click returned %.1f ms, inference on the worker %.0f ms, "
                "mask arrived + composite %.0f ms); longest UI stall %.1f ms (%d ticks)\n",
                label, k.painted, k.blocked, k.inference, k.maskArrived, k.stall, k.ticks);
}

/// One background change through the panel: from the click until the canvas is repainted
/// with its result (a background photo decodes in the background first); `returned` gets how
/// long the click itself held the UI thread.
double change(Sheet& s, const std::function<void()>& click, QList<double>* returned = nullptr)
{
    QElapsedTimer t;
    t.start();
    click();
    if (returned)
        returned->append(ms(t));
    waitUntil([&] { return !s.tool->isLoadingBackground() && !s.tool->isComposing(); });
    s.sheet->canvas()->repaint();
    const double painted = ms(t);
    QCoreApplication::processEvents();
    return painted;
}

struct ApplyTimes {
    double panel = -1;  ///< the task was done (save panel asked; -1: the colour case asks none)
    double written = 0; ///< the file was written and the composite burnt in
};

ApplyTimes pressApply(Sheet& s, ScriptedDialogs& dialogs, const QString& expectFile)
{
    QElapsedTimer t;
    dialogs.clock = &t;
    dialogs.savePanelAt = -1;
    const QDateTime before = QFileInfo(expectFile).lastModified();
    t.start();
    s.sheet->button(QStringLiteral("Anwenden"))->click();
    waitUntil([&] { return !s.tool->isFreistellerAnwenden(); });
    ApplyTimes times{dialogs.savePanelAt, ms(t)};
    dialogs.clock = nullptr;
    const QFileInfo written(expectFile);
    if (!written.exists() || written.size() == 0 || written.lastModified() == before || s.tool->freistellerFehler())
        std::fprintf(stderr, "apply did not write %s: %s\n", qPrintable(expectFile),
                     qPrintable(s.tool->freistellerFehler().value_or(QString())));
    QCoreApplication::processEvents();
    return times;
}

/// Everything the apply task does, one stage at a time, on the same inputs.
struct ApplyInputs {
    SourceImage original;
    EditState edits;
    QImage mask;
    bool transparent = false;
    QColor color;
    QString backgroundPath;
    QString originalPath; ///< the photo's file when its original is that file (decoded again cold)
};

ApplyInputs captureApply(const Sheet& s)
{
    const PhotoItem* photo = s.editor->photo();
    return {photo->originalCI,
            photo->edits,
            *s.tool->freistellerMaske(),
            s.tool->freistellerTransparent(),
            s.tool->freistellerFarbe(),
            s.tool->backgroundPhotoPath(),
            photo->originalCI.isRaster() ? QString() : photo->url.toLocalFile()};
}

/// One apply as the user does it: "Anwenden" until `file` is written (through the save panel
/// unless the colour case writes over the photo's file), its times printed, the sheet closed.
/// Returns the apply's times and its inputs, for the stage timing afterwards.
std::pair<ApplyTimes, ApplyInputs> applyAndClose(ImageProcessor& processor, Sheet& s, ScriptedDialogs& dialogs,
                                                 const QString& file, const char* label)
{
    const ApplyInputs inputs = captureApply(s);
    dialogs.saveTo = file;
    const ApplyTimes times = pressApply(s, dialogs, file);
    if (times.panel >= 0)
        std::printf("apply %s: task done %.0f ms, file written + burnt in %.0f ms\n", label, times.panel,
                    times.written);
    else
        std::printf("apply %s: file written + burnt in %.0f ms\n", label, times.written);
    closeSheet(processor, s);
    return {times, inputs};
}

void applyStages(const char* label, const ApplyInputs& in, const QString& scratch)
{
    EditState edits = in.edits;
    edits.watermark.reset();
    edits.textMarks.clear();
    // The editor's original may hold its decoded pixels already; the apply's first render of a
    // file decodes it, as a fresh original does here.
    double cold = 0;
    if (!in.originalPath.isEmpty())
        cold = timed([&] { (void)renderImage(*SourceImage::fromFile(in.originalPath), edits, 1.0); });
    std::optional<Image> rendered;
    const double render = timed([&] { rendered = renderImage(in.original, edits, 1.0).value(); });
    QImage refined;
    EdgeRefinementParams params;
    params.maskDetailSide = kSegmentationInputSize;
    const double refine = timed([&] { refined = refineMask(in.mask, rendered->raster, params); });
    std::optional<Image> background;
    double decode = 0;
    if (!in.backgroundPath.isEmpty()) {
        decode = timed([&] {
            const QImage raster = SourceImage::fromFile(in.backgroundPath)->decode().value();
            background = Image{raster, QRectF(QPointF(0, 0), QSizeF(raster.size()))};
        });
    }
    std::optional<Image> composite;
    const double blend = timed([&] {
        composite = hintergrundErsetzen(*rendered, refined,
                                        in.transparent ? std::nullopt : std::optional<QColor>(in.color), background);
    });
    QByteArray bytes;
    const double encode = timed([&] {
        bytes = (in.transparent ? encodePNG(*composite) : encodeJPEG(*composite, BackgroundTool::kJpegQuality)).value();
    });
    const double cache = timed([&] { (void)SourceImage::fromRasterInCache(composite->raster); });
    const double write = timed([&] { (void)writeFileAtomically(scratch, bytes); });
    std::printf("  apply %s stages: full-res render %.0f (from the file, cold: %.0f), refinement %.0f, background "
                "decode %.0f, composite %.0f, "
                "encode %.0f (%.1f MB), new original to cache %.0f, write %.0f ms\n",
                label, render, cold, refine, decode, blend, encode, bytes.size() / 1e6, cache, write);
}

/// The UI-thread work of a recompose, one stage at a time (the panel's own path is recompose()).
void recomposeStages(const Sheet& s, const char* label)
{
    const BackgroundTool& st = *s.tool;
    const std::optional<QColor> color =
        st.freistellerTransparent() ? std::nullopt : std::optional<QColor>(st.freistellerFarbe());
    std::optional<Image> composite;
    QList<double> blend, preview, thumb;
    for (int i = 0; i < 5; ++i) {
        blend.append(timed([&] {
            composite = hintergrundErsetzen(*st.freistellerOriginalCI(), *st.freistellerMaske(), color,
                                            st.freistellerHintergrundBild());
        }));
        std::optional<Preview> p;
        preview.append(timed([&] { p = makePreview(*composite); }));
        thumb.append(timed([&] { (void)thumbnailOf(p->bitmap); }));
    }
    QList<double> paints;
    for (int i = 0; i < 5; ++i)
        paints.append(timed([&] { s.sheet->canvas()->repaint(); }));
    std::printf("  recompose %s stages (medians): composite %.1f, preview raster %.1f, thumbnail %.1f, canvas "
                "repaint %.1f ms (display %dx%d)\n",
                label, median(blend), median(preview), median(thumb), median(paints),
                st.freistellerOriginalCI()->raster.width(), st.freistellerOriginalCI()->raster.height());
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyDarkLook();
    bool json = false;
    QStringList files;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg == QLatin1String("--json"))
            json = true;
        else
            files.append(arg);
    }
    if (files.size() != 2) {
        std::fprintf(stderr, "usage: lumora-backgroundbench [--json] <photo.jpg> <background.jpg>\n");
        return 2;
    }
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (int i = 1; i <= 3; ++i) {
        const QString copy = dir.filePath(QStringLiteral("round%1.jpg").arg(i));
        if (!QFile::copy(files[0], copy))
            return 1;
        urls.append(QUrl::fromLocalFile(copy));
    }
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    dialogs.backgroundPhoto = files[1];
    LupenFensterManager magnifiers;
    bool loaded = false;
    processor.loadPhotos(urls, [&] { loaded = true; });
    waitUntil([&] { return loaded && !processor.isBusy(); });
    if (processor.photos().size() != 3)
        return 1;
    const QList<PhotoItem> photos = processor.photos();

    // --- round 1: cold model, the background changes, apply with transparency ---
    Sheet s = openSheet(processor, photos[0].id, dialogs, magnifiers);
    const KiSzene cold = pressKiSzene(s);
    printKiSzene("(model not loaded)", cold);
    QWidget* panel = s.sheet->currentPanel();
    auto* colorButton = panel->findChild<ColorButton*>();
    auto* transparent = panel->findChild<QCheckBox*>();
    QPushButton* photoButton = nullptr;
    for (auto* b : panel->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Foto wählen…"))
            photoButton = b;
    if (!colorButton || !transparent || !photoButton) {
        std::fprintf(stderr, "the background panel's controls are missing\n");
        return 1;
    }
    QList<double> colorTimes, transparentOn, transparentOff, photoTimes, photoClicks;
    for (int cycle = 0; cycle < 5; ++cycle) {
        colorTimes.append(change(s, [&] { colorButton->click(); }));
        transparentOn.append(change(s, [&] { transparent->click(); }));
        transparentOff.append(change(s, [&] { transparent->click(); }));
        photoTimes.append(change(
            s, [&] { photoButton->click(); }, &photoClicks));
    }
    if (s.tool->backgroundPhotoPath() != files[1] || s.tool->freistellerTransparent())
        std::fprintf(stderr, "the panel's clicks did not reach the tool\n");
    std::printf("background change until painted (median / max of 5): colour %.1f / %.1f ms, transparent on "
                "%.1f / %.1f ms, transparent off %.1f / %.1f ms, photo %.1f / %.1f ms\n",
                median(colorTimes), maxOf(colorTimes), median(transparentOn), maxOf(transparentOn),
                median(transparentOff), maxOf(transparentOff), median(photoTimes), maxOf(photoTimes));
    std::printf("  photo change: the click returned after %.1f ms (median), the decode runs in the background\n",
                median(photoClicks));
    recomposeStages(s, "photo");
    {
        const QSize held = s.tool->freistellerHintergrundBild()->raster.size();
        const double decode = timed([&] { (void)SourceImage::fromFile(files[1])->decodeToFit(held); });
        const double full = timed([&] { (void)SourceImage::fromFile(files[1])->decode(); });
        std::printf("  photo change: background decode to %dx%d %.0f ms (whole photo at full size: %.0f ms)\n",
                    held.width(), held.height(), decode, full);
    }
    colorButton->click();
    recomposeStages(s, "colour");
    transparent->click();
    recomposeStages(s, "transparent");
    QCoreApplication::processEvents();
    const auto [applyPng, transparentInputs] =
        applyAndClose(processor, s, dialogs, dir.filePath(QStringLiteral("freigestellt.png")), "transparent (PNG)");

    // --- round 2: a text mark baked first, apply with a colour ---
    TextMark mark;
    mark.position = QPointF(photos[1].originalCI.size().width() / 2.0, photos[1].originalCI.size().height() / 4.0);
    mark.text = QStringLiteral("Lumora");
    mark.fontSize = 200;
    mark.colorHex = QStringLiteral("#FFFFFF");
    EditState marked = processor.photo(photos[1].id)->edits;
    marked.textMarks = {mark};
    processor.setEdits(photos[1].id, marked);
    s = openSheet(processor, photos[1].id, dialogs, magnifiers);
    const KiSzene baked = pressKiSzene(s);
    printKiSzene("(with a text mark to bake)", baked);
    s.sheet->currentPanel()->findChild<ColorButton*>()->click();
    QCoreApplication::processEvents();
    const auto [applyColor, colorInputs] =
        applyAndClose(processor, s, dialogs, urls[1].toLocalFile(), "colour (JPEG over the photo's file)");

    // --- round 3: model loaded, apply with the background photo ---
    s = openSheet(processor, photos[2].id, dialogs, magnifiers);
    const QImage maskInput = s.editor->photo()->preview->bitmap;
    const KiSzene warm = pressKiSzene(s);
    printKiSzene("(model loaded)", warm);
    for (auto* b : s.sheet->currentPanel()->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Foto wählen…"))
            b->click();
    waitUntil([&] { return !s.tool->isLoadingBackground() && !s.tool->isComposing(); });
    const auto [applyPhoto, photoInputs] = applyAndClose(
        processor, s, dialogs, dir.filePath(QStringLiteral("mit-hintergrund.jpg")), "photo background (JPEG)");

    // --- the mask's stages: the model on its own input size, the stretch back ---
    {
        const QImage square = maskInput.scaled(kSegmentationInputSize, kSegmentationInputSize, Qt::IgnoreAspectRatio,
                                               Qt::SmoothTransformation);
        QImage mask;
        const double model = timed([&] { mask = isnetMask(square).value(); });
        const double upscale = timed([&] { (void)scaleMask(mask, maskInput.size()); });
        std::printf("  mask stages: model on a %d px square (input, inference, output) %.0f ms, mask stretched to "
                    "%dx%d %.1f ms\n",
                    kSegmentationInputSize, model, maskInput.width(), maskInput.height(), upscale);
    }

    // --- the apply's stages, one at a time ---
    const QString scratch = dir.filePath(QStringLiteral("scratch.bin"));
    applyStages("transparent", transparentInputs, scratch);
    applyStages("colour", colorInputs, scratch);
    applyStages("photo", photoInputs, scratch);

    if (json) {
        std::printf("{\"kiSzeneColdMs\":%.0f,\"kiSzeneColdStallMs\":%.1f,\"kiSzeneBakeMs\":%.0f,"
                    "\"kiSzeneBakeStallMs\":%.1f,\"kiSzeneMs\":%.0f,\"kiSzeneStallMs\":%.1f,\"inferenceMs\":%.0f,"
                    "\"colorChangeMs\":%.1f,\"transparentOnMs\":%.1f,\"transparentOffMs\":%.1f,"
                    "\"photoChangeMs\":%.1f,\"applyPngMs\":%.0f,\"applyColorMs\":%.0f,\"applyPhotoMs\":%.0f}\n",
                    cold.painted, cold.stall, baked.painted, baked.stall, warm.painted, warm.stall, warm.inference,
                    median(colorTimes), median(transparentOn), median(transparentOff), median(photoTimes),
                    applyPng.written, applyColor.written, applyPhoto.written);
    }
    return 0;
}
