#include "app/editor/CropTool.h"

#include "EditorTestSupport.h"

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

// A 400 × 300 photo in a 1000 × 600 canvas: fitted at scale 2 into x 100…900, y 0…600.
const QSizeF kCanvas(1000, 600);
const QString kTooSmall = QStringLiteral("Der Ausschnitt ist zu klein.");

/// The editor in the crop mode on a w × h photo in kCanvas; what the confirmation saw is kept.
struct CropBench : EditorBench {
    CropTool& tool;
    std::optional<QRectF> pendingWhileAsked;
    QList<QUuid> idsWhileAsked;

    explicit CropBench(QSize image = {400, 300}, double rotation = 0)
        : EditorBench(image, kCanvas, rotation), tool(enter<CropTool>(DrawingMode::crop))
    {
        dialogs.whileAsking = [this](const QuestionRequest&) {
            pendingWhileAsked = state().cropPendingViewRect;
            idsWhileAsked = tool.cropIds();
        };
    }
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

/// The error lines as the summary lists them.
QString bullets(const QStringList& lines)
{
    return QStringLiteral("  • ") + lines.join(QStringLiteral("\n  • "));
}

} // namespace

TEST(CropTool, DragsOutOrMovesTheFrame)
{
    struct Case {
        const char* name;
        std::optional<QRectF> before;
        QPointF from;
        QPointF to;
        QRectF expected;
    };
    const Case cases[] = {
        {"NewFromAnyCorner", std::nullopt, {300, 100}, {250, 300}, {250, 100, 50, 200}},
        {"NewBeyondTheImageAndCanvas", std::nullopt, {150, 40}, {-40, -30}, {-40, -30, 190, 70}},
        {"InsideMoves", QRectF(200, 200, 100, 100), {250, 250}, {300, 230}, {250, 180, 100, 100}},
        {"MovesOffTheImage", QRectF(200, 200, 100, 100), {210, 210}, {10, 510}, {0, 500, 100, 100}},
        {"OutsideStartsANewOne", QRectF(200, 200, 100, 100), {400, 400}, {450, 420}, {400, 400, 50, 20}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CropBench bench;
        bench.state().cropRect = c.before;
        bench.drag(c.from, c.to);
        EXPECT_EQ(bench.state().cropRect, c.expected);
        EXPECT_EQ(bench.state().cropAktiverDragModus, CropDragModus::keiner);
        EXPECT_EQ(bench.state().cropDragStartFrame, QRectF());
        EXPECT_EQ(bench.editor->hint(), QStringLiteral("Rahmen ziehen oder 'Anwenden' klicken"));
    }
}

TEST(CropTool, TheCheckNormalisesTheFrameOrSaysItIsTooSmall)
{
    const std::pair<QRectF, std::optional<QRectF>> cases[] = {
        // frame, normalised (none: "Der Ausschnitt ist zu klein.")
        {{200, 100, 5, 100}, std::nullopt},
        {{200, 100, 100, 5}, std::nullopt},
        {{200, 100, 6, 6}, QRectF(0.125, 1 / 6.0, 6 / 800.0, 0.01)},
        {{40, 60, 260, 300}, QRectF(0, 0.1, 0.25, 0.5)},        // partly left: what lies on the image
        {{700, 450, 400, 400}, QRectF(0.75, 0.75, 0.25, 0.25)}, // past right and bottom: to the edges
        {{0, 0, 1000, 600}, QRectF(0, 0, 1, 1)},
        {{0, 100, 90, 100}, std::nullopt},     // beside the image
        {{899.5, 100, 50, 100}, std::nullopt}, // half a point on the image
    };
    for (const auto& [frame, normalized] : cases) {
        SCOPED_TRACE(testing::Message() << frame.x() << "," << frame.y() << " " << frame.width() << "×"
                                        << frame.height());
        CropBench bench;
        bench.state().cropRect = frame;
        bench.dialogs.answer(QStringLiteral("Abbrechen"));

        bench.tool.apply(false);

        EXPECT_FALSE(bench.state().isCropping);
        EXPECT_FALSE(bench.state().cropPendingViewRect);
        EXPECT_EQ(bench.state().cropRect, frame); // "Abbrechen" keeps the frame
        if (!normalized) {
            EXPECT_TRUE(bench.dialogs.questions.isEmpty());
            EXPECT_EQ(bench.dialogs.messages, (QList<std::pair<QString, QString>>{{"Zuschneiden", kTooSmall}}));
            continue;
        }
        EXPECT_TRUE(bench.dialogs.messages.isEmpty());
        ASSERT_EQ(bench.dialogs.questions.size(), 1);
        ASSERT_TRUE(bench.pendingWhileAsked);
        expectNear(*bench.pendingWhileAsked, *normalized);
    }
}

TEST(CropTool, SetsAFrameOfThePixelSizeCentredOnTheImageOnlyWithAPreview)
{
    const std::tuple<QString, QString, std::optional<QRectF>> cases[] = {
        {"4000", "3000", QRectF(50, 0, 900, 600)}, // larger than the photo: covers it
        {"1500", "1000", QRectF(275, 150, 450, 300)},
        {"9000", "500", QRectF(50, 225, 900, 150)}, // only the width limited
        {"abc", "100", std::nullopt},
        {"100.5", "100", std::nullopt},
        {"0", "100", std::nullopt},
        {"100", "-5", std::nullopt},
        {"", "100", std::nullopt},
    };
    for (const auto& [width, height, expected] : cases) {
        SCOPED_TRACE((width + "×" + height).toStdString());
        // 300 × 200 shown in 1000 × 600: fitted into x 50…950, y 0…600; its preview stands for 3000 × 2000.
        CropBench bench({300, 200});
        bench.state().cropMassBreite = width;
        bench.state().cropMassHoehe = height;
        bench.tool.setFrameFromSize(); // without a preview there are no pixels to measure by
        EXPECT_FALSE(bench.state().cropRect);
        bench.givePreview({3000, 2000});
        bench.tool.setFrameFromSize();
        EXPECT_EQ(bench.state().cropRect.has_value(), expected.has_value());
        if (expected && bench.state().cropRect)
            expectNear(*bench.state().cropRect, *expected);
    }
}

TEST(CropTool, PixelLabelCountsTheFramesPixelsOnceThereIsAPreview)
{
    CropBench bench({300, 200});
    CropTool& tool = bench.tool;
    EXPECT_FALSE(tool.pixelLabel()); // no preview

    bench.givePreview({3000, 2000});
    bench.state().cropRect = QRectF(-20, 10, 100, 450); // 100 of 900 points wide, 450 of 600 high
    EXPECT_EQ(tool.pixelLabel(), QSize(333, 1500));
    tool.removeFrame();
    EXPECT_FALSE(bench.state().cropRect);
    EXPECT_EQ(bench.editor->hint(), QStringLiteral("Ziehe einen Rahmen um den Bereich den du behalten möchtest"));
}

TEST(CropTool, ConfirmationNamesTheBatchAndItsButtonsAndIdsFollowTheSelection)
{
    CropBench bench;
    CropTool& tool = bench.tool;
    bench.editor->setSelectedPhotoIDs({bench.id});
    EXPECT_EQ(tool.batchButtonLabel(), QStringLiteral("Auf alle markierten anwenden"));
    EXPECT_EQ(tool.tipLine(),
              QStringLiteral("Tipp: Mehrere Fotos in der Übersicht markieren, um den Zuschnitt auf alle anzuwenden."));

    // The batch button with one photo selected: the batch title with 1, the edited photo alone.
    bench.state().cropRect = QRectF(200, 100, 300, 300);
    tool.apply(true);
    ASSERT_EQ(bench.dialogs.questions.size(), 1);
    const QuestionRequest& batch = bench.dialogs.questions[0];
    EXPECT_EQ(batch.title, QStringLiteral("Zuschnitt auf 1 Fotos anwenden"));
    EXPECT_TRUE(batch.message.startsWith(QStringLiteral("Kopien werden im selben Ordner")));
    EXPECT_EQ(bench.idsWhileAsked, QList<QUuid>{bench.id});
    ASSERT_EQ(batch.buttons.size(), 3); // answered by their texts in the end-to-end tests
    EXPECT_EQ(batch.buttons[1].role, DialogButton::Role::destructive);
    EXPECT_EQ(batch.buttons[2].role, DialogButton::Role::cancel);
    EXPECT_EQ(batch.escapeButton, 2);

    const QList<QUuid> three{QUuid::createUuid(), bench.id, QUuid::createUuid()};
    bench.editor->setSelectedPhotoIDs(three);
    EXPECT_EQ(tool.batchButtonLabel(), QStringLiteral("Auf 3 Fotos anwenden"));
    EXPECT_EQ(tool.tipLine(), QStringLiteral("Empfohlen für Fotos im selben Format."));
    tool.apply(true);
    EXPECT_EQ(bench.dialogs.questions[1].title, QStringLiteral("Zuschnitt auf 3 Fotos anwenden"));
    EXPECT_EQ(bench.idsWhileAsked, three);
    tool.apply(false);
    EXPECT_EQ(bench.dialogs.questions[2].title, QStringLiteral("Zuschnitt anwenden"));
    EXPECT_TRUE(bench.dialogs.questions[2].message.startsWith(QStringLiteral("Kopie wird im selben Ordner")));
    EXPECT_EQ(bench.idsWhileAsked, QList<QUuid>{bench.id});
}

TEST(CropTool, TheCheckBakesTextMarksFirstAndMeasuresTheTurnedResult)
{
    // Turned by 90°: shown 300 × 400 in 1000 × 600, fitted at 1.5 into x 275…725.
    CropBench bench({400, 300}, 90);
    bench.processor.setTextMarks(bench.id, {textMark({50, 50}, QStringLiteral("Hallo"), 30)});
    bench.state().cropRect = QRectF(275, 0, 225, 300);

    bench.tool.apply(false);

    EXPECT_TRUE(bench.photo().edits.textMarks.isEmpty());
    EXPECT_EQ(bench.photo().edits.rotation, 0);
    EXPECT_EQ(bench.photo().originalCI.size(), QSize(300, 400));
    ASSERT_TRUE(bench.pendingWhileAsked);
    expectNear(*bench.pendingWhileAsked, QRectF(0, 0, 0.5, 0.5));
}

TEST(CropTool, TheSummaryCountsWhatWasWrittenSkippedAndFailed)
{
    const std::tuple<BatchCropResult, bool, QString> cases[] = {
        // result, overwritten, summary
        {{1, 0, {}, QUrl::fromLocalFile("/fotos")},
         false,
         "1 Foto zugeschnitten und als Kopie gespeichert.\nSpeicherort: /fotos"},
        {{2, 0, {}, std::nullopt}, false, "2 Fotos zugeschnitten und als Kopie gespeichert."},
        {{3, 0, {}, std::nullopt}, true, "3 Fotos zugeschnitten und überschrieben."},
        {{0, 2, {}, std::nullopt}, false, "2 Foto(s) übersprungen (Zuschnitt wäre zu klein)."},
        {{0, 0, failures(5), std::nullopt}, false, "Fehler bei 5 Foto(s):\n" + bullets(failures(5))},
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
