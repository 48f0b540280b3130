// The crop tool: the frame, the check, the confirmation and the summary without widgets, then
// over real files.
#include "EditorTestSupport.h"
#include "fileops/FolderBookmarkStore.h"
#include "pipeline/Render.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

// A 400 × 300 photo in a 1000 × 600 canvas: fitted at scale 2 into x 100…900, y 0…600.
const QSizeF kCanvas(1000, 600);
const QString kTooSmall = QStringLiteral("Der Ausschnitt ist zu klein.");

/// The editor in the crop mode on a w × h photo in kCanvas; the frames are given in canvas points.
struct CropBench : EditorBench {
    CropTool& tool;

    explicit CropBench(QSize image = {400, 300}, double rotation = 0)
        : EditorBench(image, kCanvas, rotation), tool(enter<CropTool>(DrawingMode::crop))
    {
    }
    void frame(const QRectF& canvasFrame) { drag(canvasFrame.topLeft(), canvasFrame.bottomRight(), 1); }
    [[nodiscard]] QRectF shownFrame() const { return editor->mapping().toCanvas(*tool.cropRect()); }
    /// Gives the photo a preview that stands for `pixelSize` pixels.
    void givePreview(QSize pixelSize)
    {
        PhotoItem changed = photo();
        changed.preview = Preview{solid(30, 20, Qt::gray), pixelSize};
        processor.updatePhoto(changed);
    }
};

QStringList failures(int n)
{
    QStringList lines;
    for (int i = 1; i <= n; ++i)
        lines << QStringLiteral("bild%1.jpg: Rendern fehlgeschlagen").arg(i);
    return lines;
}

} // namespace

TEST(CropTool, DragsOutOrMovesTheFrameWhichStaysOnThePhotoWhenTheCanvasChanges)
{
    const std::tuple<const char*, std::optional<QRectF>, QPointF, QPointF, QRectF> cases[] = {
        {"NewFromAnyCorner", std::nullopt, {300, 100}, {250, 300}, {250, 100, 50, 200}},
        {"NewBeyondThePhotoAndCanvas", std::nullopt, {150, 40}, {-40, -30}, {-40, -30, 190, 70}},
        {"InsideMoves", QRectF(200, 200, 100, 100), {250, 250}, {300, 230}, {250, 180, 100, 100}},
        {"OutsideStartsANewOne", QRectF(200, 200, 100, 100), {400, 400}, {450, 420}, {400, 400, 50, 20}},
    };
    for (const auto& [name, before, from, to, expected] : cases) {
        SCOPED_TRACE(name);
        CropBench bench;
        if (before)
            bench.frame(*before);
        bench.drag(from, to);
        expectNear(bench.shownFrame(), expected, 1e-9);
        EXPECT_EQ(bench.tool.cropAktiverDragModus(), CropDragModus::keiner);
        bench.editor->setCanvasSize({500, 300}); // half the size: the frame shrinks with the photo
        expectNear(bench.shownFrame(), QRectF(expected.topLeft() / 2, expected.size() / 2), 1e-9);
    }
}

// "Abbrechen" in the confirmation leaves the frame, the photo and its undo as they were; the
// photo's text marks are not baked for the check.
TEST(CropTool, TheCheckNormalisesTheFrameOrSaysItIsTooSmall)
{
    const std::pair<QRectF, std::optional<QRectF>> cases[] = {
        // frame, normalised (none: "Der Ausschnitt ist zu klein.")
        {{200, 100, 5, 100}, std::nullopt},
        {{200, 100, 100, 5}, std::nullopt},
        {{200, 100, 6, 6}, QRectF(0.125, 1 / 6.0, 6 / 800.0, 0.01)},
        {{40, 60, 260, 300}, QRectF(0, 0.1, 0.25, 0.5)},        // partly left: what lies on the photo
        {{700, 450, 400, 400}, QRectF(0.75, 0.75, 0.25, 0.25)}, // past right and bottom: to the edges
        {{0, 100, 90, 100}, std::nullopt},                      // beside the photo
        {{899.5, 100, 50, 100}, std::nullopt},                  // half a point on the photo
    };
    for (const auto& [frame, normalized] : cases) {
        SCOPED_TRACE(testing::Message() << frame.x() << "," << frame.y() << " " << frame.width() << "×"
                                        << frame.height());
        CropBench bench;
        EditState marked;
        marked.textMarks = {textMark({50, 50})};
        bench.setEdits(marked);
        bench.frame(frame);
        bench.dialogs.answer(QStringLiteral("Abbrechen"));
        bench.tool.apply(false);

        EXPECT_FALSE(bench.tool.isCropping());
        expectNear(bench.shownFrame(), frame, 1e-9); // "Abbrechen" keeps the frame
        EXPECT_EQ(bench.edits(), marked);
        EXPECT_TRUE(bench.editor->undoEnabled()); // the mark can still be undone
        if (!normalized) {
            EXPECT_TRUE(bench.dialogs.questions.isEmpty());
            EXPECT_EQ(bench.dialogs.messages, (QList<std::pair<QString, QString>>{{"Zuschneiden", kTooSmall}}));
            continue;
        }
        EXPECT_TRUE(bench.dialogs.messages.isEmpty());
        EXPECT_EQ(bench.dialogs.questions.size(), 1);
        const std::optional<QRectF> computed = normalizedCropRect(frame, bench.editor->mapping().fittedRect());
        ASSERT_TRUE(computed);
        expectNear(*computed, *normalized);
    }
}

TEST(CropTool, SetsAFrameOfThePixelSizeCentredOnThePhotoOnlyWithAPreview)
{
    const std::tuple<QString, QString, std::optional<QRectF>> cases[] = {
        {"4000", "3000", QRectF(50, 0, 900, 600)}, // larger than the photo: covers it
        {"1500", "1000", QRectF(275, 150, 450, 300)},
        {"9000", "500", QRectF(50, 225, 900, 150)}, // only the width limited
        {"abc", "100", std::nullopt},
        {"100.5", "100", std::nullopt},
        {"0", "100", std::nullopt},
        {"", "100", std::nullopt},
    };
    for (const auto& [width, height, expected] : cases) {
        SCOPED_TRACE((width + "×" + height).toStdString());
        // 300 × 200 shown in 1000 × 600: fitted into x 50…950; its preview stands for 3000 × 2000.
        CropBench bench({300, 200});
        bench.tool.setCropMass(width, height);
        bench.tool.setFrameFromSize(); // without a preview there are no pixels to measure by
        EXPECT_FALSE(bench.tool.cropRect());
        bench.givePreview({3000, 2000});
        bench.tool.setFrameFromSize();
        ASSERT_EQ(bench.tool.cropRect().has_value(), expected.has_value());
        if (expected)
            expectNear(bench.shownFrame(), *expected, 1e-9);
    }
    CropBench bench({300, 200});
    bench.givePreview({3000, 2000});
    bench.frame(QRectF(-20, 10, 100, 450)); // 100 of 900 points wide, 450 of 600 high
    EXPECT_EQ(bench.tool.pixelLabel(), QSize(333, 1500));
    bench.tool.removeFrame();
    EXPECT_FALSE(bench.tool.pixelLabel());
}

TEST(CropTool, ConfirmationNamesTheBatchAndItsButtonsFollowTheSelection)
{
    CropBench bench;
    CropTool& tool = bench.tool;
    bench.editor->setSelectedPhotoIDs({bench.id});
    EXPECT_EQ(tool.batchButtonLabel(), QStringLiteral("Auf alle markierten anwenden"));
    bench.frame(QRectF(200, 100, 300, 300));
    tool.apply(true);
    ASSERT_EQ(bench.dialogs.questions.size(), 1);
    const QuestionRequest& batch = bench.dialogs.questions[0];
    EXPECT_EQ(batch.title, QStringLiteral("Zuschnitt auf 1 Fotos anwenden"));
    EXPECT_TRUE(batch.message.startsWith(QStringLiteral("Kopien werden im selben Ordner")));
    EXPECT_EQ(batch.buttons[1].role, DialogButton::Role::destructive);
    EXPECT_EQ(batch.escapeButton, 2);

    bench.editor->setSelectedPhotoIDs({QUuid::createUuid(), bench.id, QUuid::createUuid()});
    EXPECT_EQ(tool.batchButtonLabel(), QStringLiteral("Auf 3 Fotos anwenden"));
    tool.apply(true);
    EXPECT_EQ(bench.dialogs.questions[1].title, QStringLiteral("Zuschnitt auf 3 Fotos anwenden"));
    tool.apply(false);
    EXPECT_EQ(bench.dialogs.questions[2].title, QStringLiteral("Zuschnitt anwenden"));
}

TEST(CropTool, TheSummaryCountsWhatWasWrittenSkippedAndFailed)
{
    const auto bullets = [](const QStringList& lines) {
        return QStringLiteral("  • ") + lines.join(QStringLiteral("\n  • "));
    };
    const std::tuple<BatchCropResult, bool, QString> cases[] = {
        {{1, 0, {}, QUrl::fromLocalFile("/fotos")},
         false,
         "1 Foto zugeschnitten und als Kopie gespeichert.\nSpeicherort: /fotos"},
        {{3, 0, {}, std::nullopt}, true, "3 Fotos zugeschnitten und überschrieben."},
        {{0, 2, {}, std::nullopt}, false, "2 Foto(s) übersprungen (Zuschnitt wäre zu klein)."},
        {{1, 1, failures(7), QUrl::fromLocalFile("/a")},
         true,
         "1 Foto zugeschnitten und überschrieben.\nSpeicherort: /a\n1 Foto(s) übersprungen (Zuschnitt wäre zu "
         "klein).\nFehler bei 7 Foto(s):\n"
             + bullets(failures(5)) + "\n  • … und 2 weitere"},
        {{}, false, "Keine Fotos verarbeitet."},
    };
    for (const auto& [result, overwrite, expected] : cases)
        EXPECT_EQ(cropSummary(result, overwrite), expected);
}

namespace {

// 240 × 160 cards fitted into 800 × 600 at scale 10/3: x 0…800, y 33.3…566.7.
const QSizeF kFilesCanvas(800, 600);

/// Photos loaded from files in one folder, and an editor with its crop tool on the first.
struct CropFiles {
    QTemporaryDir dir;
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    std::unique_ptr<FolderBookmarkStore> folders;
    std::unique_ptr<EditorController> editor;
    QList<QUuid> ids;

    bool load(const QStringList& names)
    {
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << writePhotoFile(dir.path(), name, encodeWithVips(quadrants(240, 160), QStringLiteral("jpg")));
        if (!loadAndWait(processor, urls))
            return false;
        for (const PhotoItem& photo : processor.photos())
            ids << photo.id;
        folders = std::make_unique<FolderBookmarkStore>(dialogs, dir.filePath(QStringLiteral("grants.ini")));
        return true;
    }

    /// Opens the editor on the first photo, with every photo selected.
    void openEditor()
    {
        editor = std::make_unique<EditorController>(processor, ids[0], dialogs);
        addAllTools(*editor);
        editor->setSelectedPhotoIDs(ids);
        editor->setFolderAccess(folders.get());
        editor->setCanvasSize(kFilesCanvas);
        editor->setMode(DrawingMode::crop);
    }
    CropTool& tool() { return static_cast<CropTool&>(*editor->tool(DrawingMode::crop)); }

    /// Frames `frame`, applies (as a batch or not), answers the confirmation with `button` and
    /// waits for the run; returns the summary.
    QString crop(QRectF frame, bool batch, const QString& button)
    {
        editor->press(frame.topLeft());
        editor->release(frame.bottomRight());
        dialogs.answer(button);
        tool().apply(batch);
        const bool ended = QTest::qWaitFor([&] { return !tool().isCropping(); }, kNoTimeLimit);
        waitIdle(processor);
        return ended && !dialogs.messages.isEmpty() ? dialogs.messages.last().second : QString();
    }

    [[nodiscard]] QString path(const QString& name) const { return dir.filePath(name); }
};

} // namespace

// An overwriting crop of the edited photo writes it alone, and the canvas shows the new image
// (what the crop writes is checked on BatchCrop).
TEST(CropEndToEnd, AnOverwritingCropReplacesTheEditedPhotoAloneAndClosingDuringACropStillShowsTheSummary)
{
    CropFiles files;
    ASSERT_TRUE(files.load({QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}));
    files.openEditor();
    const QByteArray other = readAll(files.path("b.jpg"));
    files.crop(QRectF(0, 0, 800, 300), false, QStringLiteral("Original überschreiben"));

    EXPECT_EQ(readAll(files.path("b.jpg")), other);
    EXPECT_EQ(decodedFile(files.path("a.jpg")).size(), QSize(240, 80)); // the top half
    ASSERT_TRUE(QTest::qWaitFor([&] { return !files.editor->previewRenderer().isRendering(); }, kNoTimeLimit));
    QCoreApplication::processEvents();
    const QImage shown = files.editor->canvasImage();
    EXPECT_NEAR(double(shown.width()) / shown.height(), 3.0, 0.05);
    EXPECT_FALSE(files.tool().cropRect());

    // The editor closed while a batch crop runs: the copies are written and the summary is still
    // shown, over the main window, so a refused folder is not left unreported.
    const qsizetype told = files.dialogs.messages.size();
    files.dialogs.cancelFolder(); // "Ordner-Zugriff verweigert"
    files.editor->press({100, 100});
    files.editor->release({400, 400});
    files.dialogs.answer(QStringLiteral("Kopie anlegen"));
    files.tool().apply(true);
    ASSERT_TRUE(files.tool().progress());
    files.editor->close();
    files.editor.reset();
    ASSERT_TRUE(QTest::qWaitFor([&] { return files.dialogs.messages.size() > told; }, kNoTimeLimit));
    ASSERT_EQ(files.dialogs.messages.size(), told + 1);
    EXPECT_EQ(files.dialogs.messages.last().first, "Zuschneiden");
    EXPECT_TRUE(files.dialogs.messages.last().second.contains("Ordner-Zugriff verweigert"))
        << files.dialogs.messages.last().second.toStdString();
}

// A copy crop of a turned and mirrored photo cuts what the canvas shows; the photo keeps its
// editable text mark (the copy has it drawn in).
TEST(CropEndToEnd, TheNormalisedRectangleOfATurnedAndMirroredPhotoCutsWhatIsShown)
{
    CropFiles files;
    ASSERT_TRUE(files.load({QStringLiteral("karte.jpg")}));
    PhotoItem photo = *files.processor.photo(files.ids[0]);
    photo.edits.rotation = 90;
    photo.edits.flippedH = true;
    photo.edits.textMarks = {textMark({8, 8}, QStringLiteral("x"), 8)}; // in a corner, away from the quadrants' centres
    files.processor.updatePhoto(photo);
    files.openEditor();
    files.dialogs.confirmFolder(files.dir.path());

    // Shown 160 × 240 in 800 × 600: fitted at 2.5 into x 200…600; the frame is its top-left quarter.
    const QString summary = files.crop(QRectF(200, 0, 200, 300), false, QStringLiteral("Kopie anlegen"));
    ASSERT_TRUE(summary.startsWith(QStringLiteral("1 Foto zugeschnitten"))) << summary.toStdString();

    const QImage copy = decodedFile(files.path("karte-neu.jpg"));
    ASSERT_EQ(copy.size(), QSize(80, 120));
    auto shown = renderImage(photo.originalCI, photo.edits);
    ASSERT_TRUE(shown);
    // Each quarter of the copy has the colour the turned, mirrored photo shows there, and the
    // photo keeps its editable mark and its turn.
    EXPECT_EQ(quadrantColours(copy), quadrantColours(shown->raster.copy(0, 0, 80, 120)));
    EXPECT_EQ(files.processor.photo(files.ids[0])->edits, photo.edits);
}
