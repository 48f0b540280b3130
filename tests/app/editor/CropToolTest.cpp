#include "app/editor/CropTool.h"

#include "EditorTestSupport.h"

#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

// A 400 × 300 photo in a 1000 × 600 canvas: fitted at scale 2 into x 100…900, y 0…600.
const QSizeF kCanvas(1000, 600);
const QString kTooSmall = QStringLiteral("Der Ausschnitt ist zu klein.");

/// Gives the photo a preview that stands for `pixelSize` pixels.
void givePreview(EditorBench& bench, QSize pixelSize)
{
    PhotoItem photo = bench.photo();
    photo.preview = Preview{solid(30, 20, Qt::gray), pixelSize};
    bench.processor.updatePhoto(photo);
}

struct DragCase {
    const char* name;
    std::optional<QRectF> before;
    QPointF from;
    QPointF to;
    QRectF expected;
};

class CropDrag : public ::testing::TestWithParam<DragCase> {};

struct CheckCase {
    const char* name;
    QRectF frame;
    std::optional<QRectF> normalized; ///< none: "Der Ausschnitt ist zu klein."
};

class CropCheck : public ::testing::TestWithParam<CheckCase> {};

struct SizeCase {
    const char* name;
    QString width;
    QString height;
    std::optional<QRectF> expected;
};

class CropFrameFromSize : public ::testing::TestWithParam<SizeCase> {};

struct SummaryCase {
    const char* name;
    BatchCropResult result;
    bool overwrite;
    QString expected;
};

class CropSummary : public ::testing::TestWithParam<SummaryCase> {};

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

TEST_P(CropDrag, DragsOutOrMovesTheFrame)
{
    EditorBench bench({400, 300}, kCanvas);
    bench.editor->setMode(DrawingMode::crop);
    bench.state().cropRect = GetParam().before;
    bench.drag(GetParam().from, GetParam().to);
    ASSERT_TRUE(bench.state().cropRect);
    EXPECT_EQ(*bench.state().cropRect, GetParam().expected);
    EXPECT_EQ(bench.state().cropAktiverDragModus, CropDragModus::keiner);
    EXPECT_EQ(bench.state().cropDragStartFrame, QRectF());
    EXPECT_EQ(bench.editor->hint(), QStringLiteral("Rahmen ziehen oder 'Anwenden' klicken"));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CropDrag,
    ::testing::Values(
        DragCase{"NewFromAnyCorner", std::nullopt, {300, 100}, {250, 300}, {250, 100, 50, 200}},
        DragCase{"NewBeyondTheImageAndCanvas", std::nullopt, {150, 40}, {-40, -30}, {-40, -30, 190, 70}},
        DragCase{"InsideMoves", QRectF(200, 200, 100, 100), {250, 250}, {300, 230}, {250, 180, 100, 100}},
        DragCase{"MovesOffTheImage", QRectF(200, 200, 100, 100), {210, 210}, {10, 510}, {0, 500, 100, 100}},
        DragCase{"OutsideStartsANewOne", QRectF(200, 200, 100, 100), {400, 400}, {450, 420}, {400, 400, 50, 20}}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_P(CropCheck, NormalisesTheFrameOrSaysItIsTooSmall)
{
    EditorBench bench({400, 300}, kCanvas);
    CropTool& tool = bench.enter<CropTool>(DrawingMode::crop);
    bench.state().cropRect = GetParam().frame;
    std::optional<QRectF> pendingWhileAsked;
    bench.dialogs.whileAsking = [&](const QuestionRequest&) { pendingWhileAsked = bench.state().cropPendingViewRect; };
    bench.dialogs.answer(QStringLiteral("Abbrechen"));

    tool.apply(false);

    EXPECT_FALSE(bench.state().isCropping);
    EXPECT_FALSE(bench.state().cropPendingViewRect);
    if (!GetParam().normalized) {
        EXPECT_TRUE(bench.dialogs.questions.isEmpty());
        ASSERT_EQ(bench.dialogs.messages.size(), 1);
        EXPECT_EQ(bench.dialogs.messages[0], std::pair(QStringLiteral("Zuschneiden"), kTooSmall));
        return;
    }
    EXPECT_TRUE(bench.dialogs.messages.isEmpty());
    ASSERT_EQ(bench.dialogs.questions.size(), 1);
    ASSERT_TRUE(pendingWhileAsked);
    expectNear(*pendingWhileAsked, *GetParam().normalized);
    EXPECT_EQ(bench.state().cropRect, GetParam().frame); // "Abbrechen" keeps the frame
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CropCheck,
    ::testing::Values(CheckCase{"FiveByHundredIsRejected", {200, 100, 5, 100}, std::nullopt},
                      CheckCase{"HundredByFiveIsRejected", {200, 100, 100, 5}, std::nullopt},
                      CheckCase{"SixBySixIsAccepted", {200, 100, 6, 6}, QRectF(0.125, 1 / 6.0, 6 / 800.0, 0.01)},
                      CheckCase{"PartlyLeftKeepsWhatLiesOnTheImage", {40, 60, 260, 300}, QRectF(0, 0.1, 0.25, 0.5)},
                      CheckCase{
                          "PastRightAndBottomEndsAtTheEdges", {700, 450, 400, 400}, QRectF(0.75, 0.75, 0.25, 0.25)},
                      CheckCase{"WholeCanvasIsTheWholeImage", {0, 0, 1000, 600}, QRectF(0, 0, 1, 1)},
                      CheckCase{"BesideTheImageIsTooSmall", {0, 100, 90, 100}, std::nullopt},
                      CheckCase{"HalfAPointOnTheImageIsTooSmall", {899.5, 100, 50, 100}, std::nullopt}),
    [](const auto& test) { return std::string(test.param.name); });

TEST_P(CropFrameFromSize, SetsAFrameOfThePixelSizeCentredOnTheImage)
{
    // 300 × 200 shown in 1000 × 600: fitted into x 50…950, y 0…600; its preview stands for 3000 × 2000.
    EditorBench bench({300, 200}, kCanvas);
    givePreview(bench, {3000, 2000});
    CropTool& tool = bench.enter<CropTool>(DrawingMode::crop);
    bench.state().cropMassBreite = GetParam().width;
    bench.state().cropMassHoehe = GetParam().height;
    tool.setFrameFromSize();
    EXPECT_EQ(bench.state().cropRect.has_value(), GetParam().expected.has_value());
    if (GetParam().expected)
        expectNear(*bench.state().cropRect, *GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CropFrameFromSize,
    ::testing::Values(SizeCase{"LargerThanThePhotoCoversIt", "4000", "3000", QRectF(50, 0, 900, 600)},
                      SizeCase{"HalfIsCentred", "1500", "1000", QRectF(275, 150, 450, 300)},
                      SizeCase{"OnlyTheWidthLimited", "9000", "500", QRectF(50, 225, 900, 150)},
                      SizeCase{"NotANumber", "abc", "100", std::nullopt},
                      SizeCase{"Decimal", "100.5", "100", std::nullopt}, SizeCase{"Zero", "0", "100", std::nullopt},
                      SizeCase{"Negative", "100", "-5", std::nullopt}, SizeCase{"Empty", "", "100", std::nullopt}),
    [](const auto& test) { return std::string(test.param.name); });

TEST(CropTool, SizeFrameNeedsAPreviewAndTheLabelCountsItsPixels)
{
    EditorBench bench({300, 200}, kCanvas);
    CropTool& tool = bench.enter<CropTool>(DrawingMode::crop);
    bench.state().cropMassBreite = QStringLiteral("100");
    bench.state().cropMassHoehe = QStringLiteral("100");
    tool.setFrameFromSize();
    EXPECT_FALSE(bench.state().cropRect);
    EXPECT_FALSE(tool.pixelLabel());

    givePreview(bench, {3000, 2000});
    bench.state().cropRect = QRectF(-20, 10, 100, 450); // 100 of 900 points wide, 450 of 600 high
    EXPECT_EQ(tool.pixelLabel(), QSize(333, 1500));
    tool.removeFrame();
    EXPECT_FALSE(bench.state().cropRect);
    EXPECT_EQ(bench.editor->hint(), QStringLiteral("Ziehe einen Rahmen um den Bereich den du behalten möchtest"));
}

TEST(CropTool, ConfirmationNamesTheBatchAndItsButtonsAndIdsFollowTheSelection)
{
    EditorBench bench({400, 300}, kCanvas);
    CropTool& tool = bench.enter<CropTool>(DrawingMode::crop);
    bench.editor->setSelectedPhotoIDs({bench.id});
    EXPECT_EQ(tool.batchButtonLabel(), QStringLiteral("Auf alle markierten anwenden"));
    EXPECT_EQ(tool.tipLine(),
              QStringLiteral("Tipp: Mehrere Fotos in der Übersicht markieren, um den Zuschnitt auf alle anzuwenden."));

    // The batch button with one photo selected: the batch title with 1, the edited photo alone.
    bench.state().cropRect = QRectF(200, 100, 300, 300);
    QList<QUuid> idsWhileAsked;
    bench.dialogs.whileAsking = [&](const QuestionRequest&) { idsWhileAsked = tool.cropIds(); };
    tool.apply(true);
    ASSERT_EQ(bench.dialogs.questions.size(), 1);
    const QuestionRequest& batch = bench.dialogs.questions[0];
    EXPECT_EQ(batch.title, QStringLiteral("Zuschnitt auf 1 Fotos anwenden"));
    EXPECT_TRUE(batch.message.startsWith(QStringLiteral("Kopien werden im selben Ordner")));
    EXPECT_EQ(idsWhileAsked, QList<QUuid>{bench.id});
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
    EXPECT_EQ(idsWhileAsked, three);
    tool.apply(false);
    EXPECT_EQ(bench.dialogs.questions[2].title, QStringLiteral("Zuschnitt anwenden"));
    EXPECT_TRUE(bench.dialogs.questions[2].message.startsWith(QStringLiteral("Kopie wird im selben Ordner")));
    EXPECT_EQ(idsWhileAsked, QList<QUuid>{bench.id});
}

TEST(CropTool, TheCheckBakesTextMarksFirstAndMeasuresTheTurnedResult)
{
    // Turned by 90°: shown 300 × 400 in 1000 × 600, fitted at 1.5 into x 275…725.
    EditorBench bench({400, 300}, kCanvas, 90);
    PhotoItem photo = bench.photo();
    photo.edits.textMarks = {textMark({50, 50}, QStringLiteral("Hallo"), 30)};
    bench.processor.updatePhoto(photo);
    CropTool& tool = bench.enter<CropTool>(DrawingMode::crop);
    bench.state().cropRect = QRectF(275, 0, 225, 300);
    std::optional<QRectF> pending;
    bench.dialogs.whileAsking = [&](const QuestionRequest&) { pending = bench.state().cropPendingViewRect; };

    tool.apply(false);

    EXPECT_TRUE(bench.photo().edits.textMarks.isEmpty());
    EXPECT_EQ(bench.photo().edits.rotation, 0);
    EXPECT_EQ(bench.photo().originalCI.size(), QSize(300, 400));
    ASSERT_TRUE(pending);
    expectNear(*pending, QRectF(0, 0, 0.5, 0.5));
}

TEST_P(CropSummary, BuildsTheSummaryText)
{
    EXPECT_EQ(cropSummary(GetParam().result, GetParam().overwrite), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CropSummary,
    ::testing::Values(
        SummaryCase{"OneCopy",
                    {1, 0, {}, QUrl::fromLocalFile("/fotos")},
                    false,
                    "1 Foto zugeschnitten und als Kopie gespeichert.\nSpeicherort: /fotos"},
        SummaryCase{"TwoCopies",
                    {2, 0, {}, QUrl::fromLocalFile("/fotos/Urlaub")},
                    false,
                    "2 Fotos zugeschnitten und als Kopie gespeichert.\nSpeicherort: /fotos/Urlaub"},
        SummaryCase{"TwoCopiesWithoutFolder",
                    {2, 0, {}, std::nullopt},
                    false,
                    "2 Fotos zugeschnitten und als Kopie gespeichert."},
        SummaryCase{"ThreeOverwritten", {3, 0, {}, std::nullopt}, true, "3 Fotos zugeschnitten und überschrieben."},
        SummaryCase{"OnlySkipped",
                    {0, 2, {}, std::nullopt},
                    false,
                    QString::fromUtf8("2 Foto(s) übersprungen (Zuschnitt wäre zu klein).")},
        SummaryCase{"FiveFailuresAllListed",
                    {0, 0, failures(5), std::nullopt},
                    false,
                    QStringLiteral("Fehler bei 5 Foto(s):\n") + bullets(failures(5))},
        SummaryCase{"SevenFailuresListFiveAndTwoMore",
                    {1, 1, failures(7), QUrl::fromLocalFile("/a")},
                    true,
                    QString::fromUtf8("1 Foto zugeschnitten und überschrieben.\nSpeicherort: /a\n"
                                      "1 Foto(s) übersprungen (Zuschnitt wäre zu klein).\nFehler bei 7 Foto(s):\n")
                        + bullets(failures(5)) + QString::fromUtf8("\n  • … und 2 weitere")},
        SummaryCase{"Nothing", {}, false, "Keine Fotos verarbeitet."}),
    [](const auto& test) { return std::string(test.param.name); });
