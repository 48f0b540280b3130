// The background mode with a stand-in segmentation (red pixels are the subject), scripted
// dialogs and real files.
#include "EditorTestSupport.h"
#include "cutout/SegmentationModel.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"

#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>

namespace lumora::test {
namespace {

constexpr QSize kPhoto{240, 160};
const QColor kSubject{220, 30, 30};

// The stand-in segmentation counting its calls; or a fixed failure.
Segmentation redSegmentation(std::shared_ptr<std::atomic<int>> calls, std::optional<Error> failure = {})
{
    return [calls, failure](const QImage& bitmap) -> std::expected<QImage, Error> {
        ++*calls;
        if (failure)
            return std::unexpected(*failure);
        return redSubject(bitmap);
    };
}

// The photo's file: a JPEG of the subject photo in a folder of its own.
struct CutoutFile {
    QTemporaryDir dir;
    QByteArray originalBytes = encodeWithVips(subjectPhoto(), QStringLiteral("jpg"));
    QUrl url = writePhotoFile(dir.path(), QStringLiteral("Strand.jpg"), originalBytes);
    QString path = url.toLocalFile();

    [[nodiscard]] QByteArray fileBytes() const { return readAll(path); }
};

// The photo with `edits`, rendered like a loaded photo.
PhotoItem loaded(const QUrl& url, const EditState& edits)
{
    PhotoItem photo = photoAt(url);
    photo.edits = edits;
    const auto render = renderImage(photo.originalCI, photo.edits, 1.0);
    photo.filteredCI = *render;
    photo.preview = makePreview(*render);
    photo.thumbnail = photo.preview->bitmap;
    return photo;
}

// The editor on the photo's file, with the stand-in segmentation.
struct CutoutBench : CutoutFile, EditorBench {
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    BackgroundTool& background = tool<BackgroundTool>();

    explicit CutoutBench(const EditState& edits = {}, std::optional<Error> failure = {})
        : EditorBench(loaded(url, edits), {480, 320})
    {
        background.setEngine(FreistellenEngine(redSegmentation(calls, failure)));
        settle();
    }

    QColor previewCorner() const { return pixel(photo().preview->bitmap, 2, 2); }
    void startAndWait()
    {
        background.start();
        settle();
    }
    // A plain green picture beside the photo, to choose as the background.
    QString greenPhoto() const
    {
        const QString file = dir.filePath(QStringLiteral("gruen.png"));
        EXPECT_TRUE(solid(300, 200, QColor(20, 200, 40)).save(file));
        return file;
    }
};

bool near(QColor a, QColor b, int tolerance = 6)
{
    return channelDistance(a, b) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

// The mode is left: back to rectangles with no computation, result or apply left over.
void expectModeLeft(CutoutBench& bench)
{
    const BackgroundTool& t = bench.background;
    EXPECT_EQ(bench.editor->drawingMode(), DrawingMode::rectangle);
    EXPECT_FALSE(t.freistellerLaeuft() || t.hasMask() || t.isFreistellerAnwenden() || t.freistellerTransparent());
}

// A start that finds nothing stays in the mode and says why there, where the user looks.
TEST(BackgroundTool, AStartThatFindsNothingSaysWhyInTheMode)
{
    const Error missing{QStringLiteral("FreistellenEngine"), segmentationErrors::modelMissing,
                        QStringLiteral("Das KI-Modell fehlt.")};
    const std::tuple<const char*, std::optional<Error>, QString> cases[] = {
        {"NoSubject", std::nullopt, QStringLiteral("Kein Motiv erkannt. Bitte ein anderes Bild verwenden.")},
        {"NoModel", missing, QStringLiteral("Das KI-Modell fehlt.")},
    };
    for (const auto& [name, failure, reason] : cases) {
        SCOPED_TRACE(name);
        CutoutBench bench({}, failure);
        if (!failure) { // nothing red: nothing in the foreground
            PhotoItem grey = bench.photo();
            grey.originalCI = SourceImage::fromRaster(solid(240, 160, QColor(70, 90, 120)));
            bench.processor.updatePhoto(grey);
        }
        const QImage before = bench.photo().preview->bitmap;
        bench.startAndWait();
        EXPECT_EQ(bench.background.freistellerFehler(), reason);
        EXPECT_EQ(bench.editor->drawingMode(), DrawingMode::freisteller);
        EXPECT_FALSE(bench.background.hasMask());
        EXPECT_EQ(bench.photo().preview->bitmap, before);
        bench.editor->setMode(DrawingMode::arrow); // nothing to ask about
        EXPECT_TRUE(bench.dialogs.questions.isEmpty());
    }
}

// Text marks are baked into the photo before the mask is computed; the composite shows white
// behind the subject in the photo (the grid) and on the canvas, without the photo's watermark,
// which stays an edit of the photo and is never burnt in.
TEST(BackgroundTool, KiSzeneBakesTheTextComputesOnceAndShowsAndWritesTheCompositeWithoutTheWatermark)
{
    EditState edits;
    edits.textMarks = {textMark({20, 20}, QStringLiteral("Hallo"), 12)};
    edits.watermark = Watermark{QStringLiteral("WWWW"), WatermarkPosition::tiled, 1.0, 0.3, "#000000"};
    CutoutBench bench(edits);
    const SourceImage before = bench.photo().originalCI;
    bench.background.start();
    EXPECT_TRUE(bench.background.freistellerLaeuft());
    bench.background.start();
    bench.settle();
    EXPECT_TRUE(bench.edits().textMarks.isEmpty());
    EXPECT_FALSE(bench.photo().originalCI == before);
    EXPECT_EQ(*bench.calls, 1);
    ASSERT_TRUE(bench.background.hasMask());
    for (const QImage& shown : {bench.photo().preview->bitmap, bench.editor->canvasImage(), bench.photo().thumbnail}) {
        const double sx = shown.width() / double(kPhoto.width());
        EXPECT_TRUE(near(pixel(shown, 2, 2), Qt::white)) << pixel(shown, 2, 2).name().toStdString();
        EXPECT_TRUE(near(pixel(shown, int(120 * sx), int(80 * sx)), kSubject, 12));
    }
    // "Anwenden" on a colour overwrites the photo's file, once the apply is over, with a quality 95
    // JPEG of the composite, without the black watermark letters.
    bench.background.setColor(QColor(0, 0, 255));
    bench.background.apply();
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes);
    bench.settle();
    EXPECT_TRUE(bench.dialogs.saveRequests.isEmpty());
    const auto composite = bench.photo().originalCI.decode();
    ASSERT_TRUE(composite);
    ASSERT_EQ(composite->size(), kPhoto);
    const auto expected = encodeJPEG(Image{*composite, QRectF(QPointF(0, 0), QSizeF(kPhoto))}, 0.95);
    ASSERT_TRUE(expected);
    EXPECT_EQ(bench.fileBytes(), *expected);
    const QImage written = QImage::fromData(bench.fileBytes());
    EXPECT_EQ(countPixels(written, written.rect(), [](QRgb v) { return qGray(v) < 30; }), 0);
    EXPECT_EQ(bench.edits().watermark, edits.watermark);
}

// A photo on screen rendered from older edits than the photo has now is rendered anew for the
// model: the mask is made from what the photo's edits show.
TEST(BackgroundTool, TheMaskIsMadeFromThePhotosCurrentEdits)
{
    EditState edits;
    edits.adjustment.exposure = 0.5;
    CutoutBench bench(edits);
    PhotoItem stale = bench.photo();
    stale.edits.adjustment.exposure = 1.0;
    stale.renderedFrom = std::make_shared<const RenderedFrom>(RenderedFrom{stale.originalCI, edits});
    bench.processor.updatePhoto(stale);
    bench.startAndWait();
    ASSERT_TRUE(bench.background.hasMask());
    const auto expected = renderImage(stale.originalCI, stale.edits, 1.0);
    ASSERT_TRUE(expected);
    EXPECT_EQ(bench.background.freistellerOriginalCI()->raster, expected->raster);
}

// "KI-Szene" while a text is typed: the typing ends with the text kept, the text is baked, and the
// mask is computed at the first press.
TEST(BackgroundTool, KiSzeneWorksAtTheFirstPressWhileATextIsTyped)
{
    CutoutBench bench;
    auto& text = bench.enter<TextTool>(DrawingMode::text);
    bench.click({40, 40});
    text.setEditingTextValue(QStringLiteral("Hallo"));
    bench.tool<BackgroundTool>().buttonPressed();
    bench.settle();
    EXPECT_EQ(*bench.calls, 1);
    EXPECT_TRUE(bench.background.hasMask());
    EXPECT_TRUE(bench.edits().textMarks.isEmpty()); // baked into the photo, not lost
    EXPECT_FALSE(bench.photo().originalCI == photoAt(bench.url).originalCI);
}

// A photo with translucent pixels on a colour background is written as an opaque JPEG: the
// canvas shows it laid over white as the file has it, with no checkerboard through the subject,
// and the photo keeps exactly what was written.
TEST(BackgroundTool, ATranslucentPhotoOnAColourShowsWhatTheJpegHolds)
{
    CutoutBench bench;
    PhotoItem translucent = bench.photo();
    QImage half = subjectPhoto().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < half.height(); ++y)
        for (int x = 0; x < half.width(); ++x)
            half.setPixel(x, y, (half.pixel(x, y) & 0x00FFFFFF) | 0x80000000);
    translucent.originalCI = SourceImage::fromRaster(half.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    bench.processor.updatePhoto(translucent);
    bench.startAndWait();
    bench.background.setColor(QColor(0, 0, 255));
    bench.settle();
    const QColor shown = pixel(bench.editor->canvasImage(), 120, 80);
    EXPECT_EQ(shown.alpha(), 255);
    EXPECT_TRUE(near(shown, QColor(237, 142, 142), 8)) << shown.name().toStdString(); // red at half over white
    bench.background.apply();
    bench.settle();
    const QImage written = QImage::fromData(bench.fileBytes());
    const auto kept = bench.photo().originalCI.decode();
    ASSERT_TRUE(kept);
    EXPECT_TRUE(near(pixel(written, 120, 80), pixel(*kept, 120, 80), 4));
    EXPECT_EQ(pixel(*kept, 120, 80).alpha(), 255);
}

// Work still under way when the user moves on is dropped: a background photo still decoding
// loses to a colour chosen after it; "Anwenden" right after a photo choice waits for that photo.
TEST(BackgroundTool, LaterChoicesWinOverWorkStillUnderWay)
{
    CutoutBench bench;
    bench.startAndWait();
    ASSERT_TRUE(bench.background.hasMask());
    bench.dialogs.chooseFilesWith({bench.greenPhoto()});
    bench.background.chooseBackgroundPhoto();
    EXPECT_TRUE(bench.background.isLoadingBackground());
    bench.background.setColor(QColor(0, 0, 255));
    bench.settle();
    EXPECT_FALSE(bench.background.hasBackgroundPhoto());
    EXPECT_TRUE(near(bench.previewCorner(), QColor(0, 0, 255)));

    const QString broken = bench.dir.filePath(QStringLiteral("kaputt.jpg"));
    ASSERT_TRUE(writeAll(broken, "kein Bild"));
    bench.dialogs.chooseFilesWith({broken});
    bench.background.chooseBackgroundPhoto();
    bench.background.apply();
    bench.settle();
    EXPECT_EQ(bench.background.freistellerFehler(), "Hintergrund-Bild konnte nicht geladen werden.");
    EXPECT_FALSE(bench.background.isFreistellerAnwenden());
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes);

    // A photo background asks where to save; cancelled, nothing is written but it is burnt in.
    bench.dialogs.chooseFilesWith({bench.greenPhoto()});
    bench.background.chooseBackgroundPhoto();
    bench.background.apply(); // no answer queued: the panel is cancelled
    bench.settle();
    ASSERT_EQ(bench.dialogs.saveRequests.size(), 1);
    EXPECT_EQ(bench.dialogs.saveRequests[0].proposedName, "Strand-mit-hintergrund.jpg");
    EXPECT_EQ(QDir(bench.dir.path()).entryList(QDir::Files).size(), 3); // the photo, the broken and the green one
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes);
    expectModeLeft(bench);
    const auto original = bench.photo().originalCI.decode();
    ASSERT_TRUE(original);
    EXPECT_TRUE(near(pixel(*original, 2, 2), QColor(20, 200, 40), 10));
}

// Transparent, else the background photo, else the colour; a photo chosen while transparency is
// on turns it off (a photo behind a transparent PNG would write an opaque one).
TEST(BackgroundTool, BackgroundChoicesFollowTheirPrecedenceAndTransparentApplyWritesAPng)
{
    CutoutBench bench;
    bench.startAndWait();

    bench.background.setTransparent(true);
    bench.settle();
    EXPECT_EQ(bench.previewCorner().alpha(), 0);
    bench.dialogs.chooseFilesWith({bench.greenPhoto()});
    bench.background.chooseBackgroundPhoto();
    bench.settle();
    EXPECT_FALSE(bench.background.freistellerTransparent());
    EXPECT_TRUE(near(bench.previewCorner(), QColor(20, 200, 40)));
    EXPECT_EQ(bench.background.noteLines(), QStringList{"• Foto-Hintergrund aktiv"});

    bench.background.setColor(QColor(0, 0, 255)); // a colour drops the photo
    bench.settle();
    EXPECT_FALSE(bench.background.hasBackgroundPhoto());
    EXPECT_TRUE(near(pixel(bench.editor->canvasImage(), 2, 2), QColor(0, 0, 255)));

    bench.background.setTransparent(true);
    bench.background.setColor(QColor(255, 255, 0)); // transparency still wins over a colour
    bench.settle();
    EXPECT_EQ(bench.previewCorner().alpha(), 0);
    EXPECT_EQ(bench.background.noteLines(), QStringList{"• wird als PNG neben dem Original gespeichert"});
    bench.background.setTransparent(false);
    bench.settle();
    EXPECT_TRUE(near(bench.previewCorner(), QColor(255, 255, 0)));

    // Applied transparent, it writes a PNG with alpha where the user chose and burns it in.
    bench.background.setTransparent(true);
    ASSERT_TRUE(QDir(bench.dir.path()).mkpath(QStringLiteral("neu"))); // made in the panel
    const QString target = bench.dir.filePath(QStringLiteral("neu/Strand.png"));
    bench.dialogs.saveTo(target);
    bench.background.apply();
    bench.settle();

    ASSERT_EQ(bench.dialogs.saveRequests.size(), 1);
    EXPECT_EQ(bench.dialogs.saveRequests[0].proposedName, "Strand.png");
    const QImage written(target);
    ASSERT_EQ(written.size(), kPhoto);
    EXPECT_EQ(pixel(written, 2, 2).alpha(), 0);
    EXPECT_EQ(pixel(written, 120, 80).alpha(), 255);
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes); // the photo's own file is untouched
    const auto original = bench.photo().originalCI.decode();
    ASSERT_TRUE(original);
    EXPECT_EQ(pixel(*original, 2, 2).alpha(), 0);
    EXPECT_EQ(bench.edits(), EditState{});
    expectModeLeft(bench);
    EXPECT_EQ(pixel(bench.editor->canvasImage(), 2, 2).alpha(), 0);
}

// "Abbrechen": the card, the photo's preview and the canvas show the photo's own edits again
// (rendered from them, never the composite kept by mistake), and its file is untouched.
TEST(BackgroundTool, DiscardShowsThePhotosOwnEditsEverywhere)
{
    CutoutBench bench;
    const QImage shownBefore = bench.editor->canvasImage();
    bench.startAndWait();
    bench.background.setColor(QColor(0, 0, 255));
    bench.settle();
    ASSERT_TRUE(near(pixel(bench.photo().thumbnail, 1, 1), QColor(0, 0, 255)));
    bench.background.discard();
    bench.settle();
    expectModeLeft(bench);
    const QColor own = pixel(subjectPhoto(), 2, 2);
    for (const QImage& shown : {bench.photo().preview->bitmap, bench.photo().thumbnail, bench.editor->canvasImage()})
        EXPECT_TRUE(near(pixel(shown, 1, 1), own, 10)) << pixel(shown, 1, 1).name().toStdString();
    EXPECT_EQ(bench.editor->canvasImage(), shownBefore);
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes);
}

// An apply that cannot write keeps the result and says why: a transparent PNG to a place that
// cannot be written, and a colour result over the photo's file, swapped for a link to another
// file since it was loaded (not written through the link).
TEST(BackgroundTool, AnApplyThatCannotWriteKeepsTheResultAndSaysWhy)
{
    for (const bool transparent : {true, false}) {
        SCOPED_TRACE(transparent ? "transparent" : "colour over a link");
        CutoutBench bench;
        const QString other = bench.dir.filePath(QStringLiteral("fremd.jpg"));
        ASSERT_TRUE(writeAll(other, "fremde Datei"));
        if (!transparent) {
            ASSERT_TRUE(QFile::remove(bench.path) && QFile::link(other, bench.path));
        }
        bench.startAndWait();
        bench.background.setTransparent(transparent);
        bench.settle();
        const QImage composite = bench.photo().preview->bitmap;
        bench.dialogs.saveTo(QStringLiteral("/proc/lumora-freisteller.png")); // not writable, even for root
        bench.background.apply();
        bench.settle();
        ASSERT_TRUE(bench.background.freistellerFehler());
        EXPECT_TRUE(bench.background.freistellerFehler()->startsWith("Speichern fehlgeschlagen: "));
        EXPECT_TRUE(bench.background.hasMask());
        EXPECT_EQ(bench.editor->drawingMode(), DrawingMode::freisteller);
        EXPECT_EQ(bench.photo().preview->bitmap, composite);
        EXPECT_EQ(readAll(other), "fremde Datei");
    }
}

// Ctrl+Z takes back what was done last: the computation or the result, as "Abbrechen", before any
// committed edit; while the apply runs there is nothing to undo.
TEST(BackgroundTool, CtrlZTakesBackTheComputationOrTheResultFirst)
{
    CutoutBench bench;
    bench.background.start();
    bench.editor->undo(); // while it computes: its mask never arrives
    bench.settle();
    expectModeLeft(bench);
    bench.startAndWait();
    bench.background.apply();
    EXPECT_FALSE(bench.editor->undoEnabled());
    bench.editor->undo(); // the apply runs: nothing happens
    bench.settle();
    EXPECT_FALSE(bench.background.hasMask()); // applied
    bench.startAndWait();
    bench.editor->undo();
    expectModeLeft(bench);
    EXPECT_EQ(bench.edits(), EditState{}); // the applied result is the photo's original now
}

// Closing or changing the mode with an unapplied result asks first; the answer runs the real
// apply (the switch and the close wait for it) or discard, or keeps everything as it was.
TEST(BackgroundTool, LeavingWithAResultAsksAndTheAnswerDecidesWhatHappensFirst)
{
    // Closing (else a change to the crop mode), the answer, the mode left in, whether the mask is
    // left, and how often the sheet was dismissed at once and after the apply.
    const std::tuple<bool, const char*, DrawingMode, bool, int, int> cases[] = {
        {true, "Anwenden", DrawingMode::rectangle, false, 0, 1},
        {true, "Verwerfen", DrawingMode::rectangle, false, 1, 1},
        {true, "Abbrechen", DrawingMode::freisteller, true, 0, 0},
        {false, "Anwenden", DrawingMode::crop, false, 0, 0},
        {false, "Verwerfen", DrawingMode::crop, false, 0, 0},
        {false, "Abbrechen", DrawingMode::freisteller, true, 0, 0},
    };
    for (const auto& [closing, answerText, mode, maskLeft, dismissedAtOnce, dismissedAfterTheApply] : cases) {
        SCOPED_TRACE(std::string(closing ? "closing, " : "mode change, ") + answerText);
        CutoutBench bench;
        bench.startAndWait();
        const QImage composite = bench.photo().preview->bitmap;
        const QString answer = QString::fromLatin1(answerText);
        bench.dialogs.answer(answer);
        if (closing)
            bench.editor->close();
        else
            bench.tool<CropTool>().buttonPressed();
        ASSERT_EQ(bench.dialogs.questions.size(), 1);
        EXPECT_EQ(bench.dismissed, dismissedAtOnce);
        bench.settle();
        EXPECT_EQ(bench.dismissed, dismissedAfterTheApply);
        if (!closing || answer == "Abbrechen") {
            EXPECT_EQ(bench.editor->drawingMode(), mode);
        }
        EXPECT_EQ(bench.background.hasMask(), maskLeft);
        EXPECT_EQ(bench.photo().preview->bitmap == composite, answer == "Abbrechen");
        EXPECT_EQ(bench.fileBytes() != bench.originalBytes, answer == "Anwenden");
        EXPECT_EQ(bench.dialogs.questions.size(), 1);
    }
}

} // namespace
} // namespace lumora::test
