// The background mode with a stand-in segmentation (red pixels are the subject), scripted
// dialogs and real files.
#include "app/editor/BackgroundTool.h"
#include "app/editor/EditorTestSupport.h"
#include "app/editor/EditorToolbar.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"
#include "support/PhotoFiles.h"

#include <QPainter>
#include <QTemporaryDir>
#include <atomic>
#include <gtest/gtest.h>

namespace lumora::test {
namespace {

constexpr QSize kPhoto{240, 160};
const QColor kSubject{220, 30, 30};

// A red disc (the subject) on a grey-blue background.
QImage subjectPhoto()
{
    QImage image = solid(kPhoto.width(), kPhoto.height(), QColor(70, 90, 120));
    QPainter painter(&image);
    painter.setPen(Qt::NoPen);
    painter.setBrush(kSubject);
    painter.drawEllipse(QPointF(120, 80), 50, 50);
    return image;
}

// Segmentation by colour: strongly red pixels are the subject; `blank` finds nothing.
Segmentation redSegmentation(std::shared_ptr<std::atomic<int>> calls, bool blank = false)
{
    return [calls, blank](const QImage& bitmap) -> std::expected<QImage, Error> {
        ++*calls;
        QImage mask(bitmap.size(), QImage::Format_Grayscale8);
        for (int y = 0; y < bitmap.height(); ++y) {
            for (int x = 0; x < bitmap.width(); ++x) {
                const QColor c = bitmap.pixelColor(x, y);
                mask.scanLine(y)[x] = !blank && c.red() > 150 && c.green() < 100 ? 255 : 0;
            }
        }
        return mask;
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

// The photo with `marks`, rendered like a loaded photo (unless not `rendered`).
PhotoItem loaded(const QUrl& url, bool rendered, const QList<TextMark>& marks)
{
    PhotoItem photo = photoAt(url);
    photo.edits.textMarks = marks;
    if (rendered) {
        const auto render = renderImage(photo.originalCI, photo.edits, 1.0);
        photo.filteredCI = *render;
        photo.preview = makePreview(*render);
    }
    return photo;
}

// The editor on the photo's file, with the stand-in segmentation.
struct CutoutBench : CutoutFile, EditorBench {
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);

    explicit CutoutBench(bool rendered = true, bool blank = false, const QList<TextMark>& marks = {})
        : EditorBench(loaded(url, rendered, marks), {480, 320})
    {
        tool().setEngine(FreistellenEngine(redSegmentation(calls, blank)));
        settle();
    }

    BackgroundTool& tool() { return *dynamic_cast<BackgroundTool*>(editor->tool(DrawingMode::freisteller)); }
    QColor previewCorner() const { return pixel(photo().preview->bitmap, 2, 2); }
    // Starts the mode and waits for the mask.
    void startAndWait()
    {
        tool().start();
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
    return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance
           && std::abs(a.blue() - b.blue()) <= tolerance && std::abs(a.alpha() - b.alpha()) <= tolerance;
}

// The mode is left: back to rectangles with no computation, result or apply left over.
void expectModeLeft(CutoutBench& bench)
{
    const EditorState& s = bench.state();
    EXPECT_EQ(s.drawingMode, DrawingMode::rectangle);
    EXPECT_FALSE(s.freistellerLaeuft || s.freistellerMaske || s.freistellerOriginalCI || s.isFreistellerAnwenden
                 || s.freistellerTransparent);
}

// A photo without a render starts nothing; a mask without a subject shows nothing.
TEST(BackgroundTool, AStartThatFindsNothingSaysWhyAndGoesBackToTheRectangleMode)
{
    struct Case {
        bool rendered;
        bool blank;
        const char* error;
        int computations;
    };
    for (const Case& c : {Case{false, false, "Kein Bild verfügbar.", 0},
                          Case{true, true, "Kein Motiv erkannt. Bitte ein anderes Bild verwenden.", 1}}) {
        SCOPED_TRACE(c.error);
        CutoutBench bench(c.rendered, c.blank);
        const QImage before = c.rendered ? bench.photo().preview->bitmap : QImage();
        bench.startAndWait();
        EXPECT_EQ(bench.state().freistellerFehler, c.error);
        expectModeLeft(bench);
        EXPECT_EQ(*bench.calls, c.computations);
        if (c.rendered) {
            EXPECT_EQ(bench.photo().preview->bitmap, before);
        }
    }
}

// Text marks are baked into the photo before the mask is computed; the composite shows white
// behind the subject in the photo (the grid) and on the canvas.
TEST(BackgroundTool, PressingKiSzeneTwiceBakesTheTextStartsOneComputationAndShowsTheComposite)
{
    CutoutBench bench(true, false, {textMark({20, 20}, QStringLiteral("Hallo"), 12)});
    const SourceImage before = bench.photo().originalCI;
    bench.tool().start();
    EXPECT_TRUE(bench.state().freistellerLaeuft);
    EXPECT_EQ(bench.editor->hint(), "KI berechnet die Maske – einen Moment...");
    bench.tool().start();
    bench.settle();
    EXPECT_TRUE(bench.photo().edits.textMarks.isEmpty());
    EXPECT_FALSE(bench.photo().originalCI == before);
    EXPECT_EQ(*bench.calls, 1);
    EXPECT_FALSE(bench.state().freistellerLaeuft);
    ASSERT_TRUE(bench.state().freistellerMaske);
    EXPECT_TRUE(near(bench.previewCorner(), Qt::white)) << bench.previewCorner().name().toStdString();
    EXPECT_TRUE(near(pixel(bench.photo().preview->bitmap, 120, 80), kSubject, 12));
    EXPECT_TRUE(near(pixel(bench.editor->canvasImage(), 2, 2), Qt::white));
    EXPECT_TRUE(near(pixel(bench.photo().thumbnail, 1, 1), Qt::white));
}

// Work still under way when the user moves on is dropped: a discarded computation's mask never
// arrives, and a background photo still decoding loses to a colour chosen after it.
TEST(BackgroundTool, LaterChoicesWinOverWorkStillUnderWay)
{
    CutoutBench bench(true, false, {textMark({20, 20})});
    bench.tool().start();
    bench.tool().discard();
    bench.settle();
    expectModeLeft(bench);

    bench.startAndWait();
    ASSERT_TRUE(bench.state().freistellerMaske);
    bench.dialogs.chooseFilesWith({bench.greenPhoto()});
    bench.tool().chooseBackgroundPhoto();
    EXPECT_TRUE(bench.tool().isLoadingBackground());
    bench.tool().setColor(QColor(0, 0, 255));
    bench.settle();
    EXPECT_FALSE(bench.state().freistellerHintergrundBild);
    EXPECT_TRUE(near(bench.previewCorner(), QColor(0, 0, 255)));

    // "Anwenden" right after the choice waits for the photo: never the colour over the file.
    const QString broken = bench.dir.filePath(QStringLiteral("kaputt.jpg"));
    ASSERT_TRUE(writeAll(broken, "kein Bild"));
    bench.dialogs.chooseFilesWith({broken});
    bench.tool().chooseBackgroundPhoto();
    bench.tool().apply();
    bench.settle();
    EXPECT_EQ(bench.state().freistellerFehler, "Hintergrund-Bild konnte nicht geladen werden.");
    EXPECT_FALSE(bench.state().isFreistellerAnwenden);
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes);
    // A photo background asks where to save; cancelled, nothing is written but it is burnt in.
    bench.dialogs.chooseFilesWith({bench.greenPhoto()});
    bench.tool().chooseBackgroundPhoto();
    bench.tool().apply(); // no answer queued: the panel is cancelled
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

// The background precedence: transparent, else the background photo, else the colour; a
// background photo that cannot be read keeps the one shown.
TEST(BackgroundTool, BackgroundChoicesFollowTheirPrecedence)
{
    CutoutBench bench;
    const QString greenPhoto = bench.greenPhoto();
    const QString broken = bench.dir.filePath(QStringLiteral("kaputt.jpg"));
    ASSERT_TRUE(writeAll(broken, "kein Bild"));
    bench.startAndWait();

    bench.dialogs.chooseFilesWith({greenPhoto});
    bench.tool().chooseBackgroundPhoto();
    bench.settle();
    ASSERT_EQ(bench.dialogs.fileRequests.size(), 1);
    EXPECT_FALSE(bench.dialogs.fileRequests[0].multipleSelection);
    EXPECT_TRUE(near(bench.previewCorner(), QColor(20, 200, 40)));
    EXPECT_EQ(bench.tool().noteLines(), QStringList{"• Foto-Hintergrund aktiv"});

    bench.tool().setColor(QColor(0, 0, 255)); // a colour drops the photo
    EXPECT_FALSE(bench.state().freistellerHintergrundBild);
    EXPECT_TRUE(near(bench.previewCorner(), QColor(0, 0, 255)));

    bench.dialogs.chooseFilesWith({broken});
    bench.tool().chooseBackgroundPhoto();
    bench.settle();
    EXPECT_EQ(bench.state().freistellerFehler, "Hintergrund-Bild konnte nicht geladen werden.");
    EXPECT_FALSE(bench.state().freistellerHintergrundBild);
    EXPECT_TRUE(bench.state().freistellerMaske);
    EXPECT_TRUE(near(bench.previewCorner(), QColor(0, 0, 255)));

    bench.dialogs.chooseFilesWith({greenPhoto});
    bench.tool().chooseBackgroundPhoto();
    bench.settle();
    bench.tool().setTransparent(true); // transparency drops it too
    EXPECT_FALSE(bench.state().freistellerHintergrundBild);
    EXPECT_EQ(bench.previewCorner().alpha(), 0);
    EXPECT_EQ(bench.tool().noteLines(), QStringList{"• wird als PNG neben dem Original gespeichert"});

    bench.tool().setColor(QColor(255, 255, 0)); // transparency still wins over a colour
    EXPECT_EQ(bench.previewCorner().alpha(), 0);
    bench.tool().setTransparent(false);
    EXPECT_TRUE(near(bench.previewCorner(), QColor(255, 255, 0)));
}

TEST(BackgroundTool, ABackgroundPhotoIsDecodedJustLargeEnoughToCoverTheComposite)
{
    CutoutBench bench;
    // A tall photo behind a wide one: it must cover the width, its height is cropped.
    const QString tall = bench.dir.filePath(QStringLiteral("hoch.jpg"));
    ASSERT_TRUE(writeAll(tall, encodeWithVips(solid(1200, 1800, QColor(20, 200, 40)), QStringLiteral("jpg"))));
    bench.startAndWait();
    bench.dialogs.chooseFilesWith({tall});
    bench.tool().chooseBackgroundPhoto();
    bench.settle();
    ASSERT_TRUE(bench.state().freistellerHintergrundBild);
    const QSize held = bench.state().freistellerHintergrundBild->raster.size();
    const QSize shown = bench.state().freistellerOriginalCI->raster.size();
    EXPECT_GE(held.width(), shown.width());
    EXPECT_GE(held.height(), shown.height());
    EXPECT_LE(held.width(), shown.width() + 1); // not the file's 1200 × 1800
    EXPECT_TRUE(near(bench.previewCorner(), QColor(20, 200, 40)));
}

TEST(BackgroundTool, DiscardRestoresExactlyWhatWasShownBefore)
{
    CutoutBench bench;
    const PhotoItem before = bench.photo();
    const QImage shownBefore = bench.editor->canvasImage();
    bench.startAndWait();
    bench.tool().setTransparent(true);
    editorToolbar::trigger(*bench.editor, editorToolbar::entries()[8]); // "Abbrechen"
    ASSERT_EQ(editorToolbar::entries()[8].title, "Abbrechen");
    EXPECT_EQ(bench.photo().preview->bitmap, before.preview->bitmap);
    EXPECT_EQ(bench.photo().filteredCI->raster, before.filteredCI->raster);
    EXPECT_EQ(bench.photo().thumbnail, before.thumbnail);
    EXPECT_EQ(bench.editor->canvasImage(), shownBefore);
    expectModeLeft(bench);
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes);
}

TEST(BackgroundTool, TransparentApplyWritesAPngWithAlphaWhereChosenAndBurnsItIn)
{
    CutoutBench bench;
    bench.startAndWait();
    bench.tool().setTransparent(true);
    ASSERT_TRUE(QDir(bench.dir.path()).mkpath(QStringLiteral("neu"))); // made in the panel
    const QString target = bench.dir.filePath(QStringLiteral("neu/Strand.png"));
    bench.dialogs.saveTo(target);
    bench.tool().apply();
    EXPECT_TRUE(bench.state().isFreistellerAnwenden);
    bench.settle();

    ASSERT_EQ(bench.dialogs.saveRequests.size(), 1);
    EXPECT_EQ(bench.dialogs.saveRequests[0].proposedName, "Strand.png");
    const QImage written(target);
    ASSERT_FALSE(written.isNull());
    EXPECT_TRUE(written.hasAlphaChannel());
    EXPECT_EQ(written.size(), kPhoto);
    EXPECT_EQ(pixel(written, 2, 2).alpha(), 0);
    EXPECT_EQ(pixel(written, 120, 80).alpha(), 255);
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes); // the photo's own file is untouched

    // Burnt in: the photo is the transparent composite with neutral edits; the mode is left.
    const auto original = bench.photo().originalCI.decode();
    ASSERT_TRUE(original);
    EXPECT_EQ(pixel(*original, 2, 2).alpha(), 0);
    EXPECT_EQ(bench.photo().edits.adjustment, AdjustmentState{});
    EXPECT_EQ(bench.photo().edits.rotation, 0);
    expectModeLeft(bench);
    EXPECT_EQ(pixel(bench.editor->canvasImage(), 2, 2).alpha(), 0);
}

TEST(BackgroundTool, ColourApplyOverwritesThePhotosFileWithAQuality95Jpeg)
{
    CutoutBench bench;
    bench.startAndWait();
    bench.tool().setColor(QColor(0, 0, 255));
    bench.tool().apply();
    EXPECT_EQ(bench.fileBytes(), bench.originalBytes); // not before the apply is over
    bench.settle();
    EXPECT_TRUE(bench.dialogs.saveRequests.isEmpty());
    const QByteArray written = bench.fileBytes();
    ASSERT_NE(written, bench.originalBytes);
    ASSERT_TRUE(written.startsWith("\xFF\xD8"));
    // The same bytes as the burnt-in composite encoded at 0.95.
    const auto composite = bench.photo().originalCI.decode();
    ASSERT_TRUE(composite);
    const auto expected = encodeJPEG(Image{*composite, QRectF(QPointF(0, 0), QSizeF(kPhoto))}, 0.95);
    ASSERT_TRUE(expected);
    EXPECT_EQ(written, *expected);
    EXPECT_TRUE(near(pixel(QImage::fromData(written), 2, 2), QColor(0, 0, 255), 10));
}

TEST(BackgroundTool, WriteFailureKeepsTheResultAndSaysWhy)
{
    CutoutBench bench;
    bench.startAndWait();
    bench.tool().setTransparent(true);
    const QImage composite = bench.photo().preview->bitmap;
    bench.dialogs.saveTo(QStringLiteral("/proc/lumora-freisteller.png")); // not writable, even for root
    bench.tool().apply();
    bench.settle();
    ASSERT_TRUE(bench.state().freistellerFehler);
    EXPECT_TRUE(bench.state().freistellerFehler->startsWith("Speichern fehlgeschlagen: "))
        << bench.state().freistellerFehler->toStdString();
    EXPECT_GT(bench.state().freistellerFehler->size(), QStringLiteral("Speichern fehlgeschlagen: ").size());
    EXPECT_TRUE(bench.state().freistellerMaske);
    EXPECT_FALSE(bench.state().isFreistellerAnwenden);
    EXPECT_EQ(bench.state().drawingMode, DrawingMode::freisteller);
    EXPECT_EQ(bench.photo().preview->bitmap, composite);
}

// Closing or changing the mode with an unapplied result asks first; the answer runs the real
// apply (the close waits for it) or discard, or keeps everything as it was.
TEST(BackgroundTool, LeavingWithAResultAsksAndTheAnswerDecidesWhatHappensFirst)
{
    struct Case {
        bool closing; ///< else a change to the crop mode
        const char* answer;
        DrawingMode mode;
        bool maskLeft;
        int dismissedAtOnce;
        int dismissedAfterTheApply;
    };
    for (const Case& c : {Case{true, "Anwenden", DrawingMode::rectangle, false, 0, 1},
                          Case{true, "Verwerfen", DrawingMode::rectangle, false, 1, 1},
                          Case{true, "Abbrechen", DrawingMode::freisteller, true, 0, 0},
                          Case{false, "Anwenden", DrawingMode::crop, false, 0, 0},
                          Case{false, "Verwerfen", DrawingMode::crop, false, 0, 0},
                          Case{false, "Abbrechen", DrawingMode::freisteller, true, 0, 0}}) {
        SCOPED_TRACE(std::string(c.closing ? "closing, " : "mode change, ") + c.answer);
        CutoutBench bench;
        const QImage before = bench.photo().preview->bitmap;
        bench.startAndWait();
        const QString answer = QString::fromLatin1(c.answer);
        bench.dialogs.answer(answer);
        if (c.closing)
            bench.editor->close();
        else
            editorToolbar::selectMode(*bench.editor, DrawingMode::crop);
        ASSERT_EQ(bench.dialogs.questions.size(), 1);
        EXPECT_EQ(bench.dismissed, c.dismissedAtOnce);
        bench.settle();
        EXPECT_EQ(bench.dismissed, c.dismissedAfterTheApply);
        EXPECT_EQ(bench.state().drawingMode, c.mode);
        EXPECT_EQ(bench.state().freistellerMaske.has_value(), c.maskLeft);
        EXPECT_EQ(bench.photo().preview->bitmap == before, answer == "Verwerfen");
        EXPECT_EQ(bench.fileBytes() != bench.originalBytes, answer == "Anwenden");
        const EditorState& s = bench.state();
        EXPECT_FALSE(s.isFreistellerAnwenden || s.geplanterModusWechsel || s.wartenAufSchliessen
                     || s.zeigeFreistellerWechselDialog);
    }
}

} // namespace
} // namespace lumora::test
