// Closing the real sheet while its background work runs: the work pool is held so each job is
// under way at the moment of closing, whichever way the user closes. Nothing may crash (the
// suite also runs under the address sanitizer), nothing is written twice, and a result that
// arrives after the sheet is gone is dropped.
#include "ui/editor/ZoomableImageEditor.h"

#include "app/editor/EditorTestSupport.h"
#include "base/UiThread.h"
#include "support/PhotoFiles.h"
#include "support/PoolHold.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/EditorIconButton.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QDir>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

enum class Way { button, escape, windowClose };

/// The subject photo in a JPEG file, the sheet on it with a segmentation that finds red.
struct ClosingFixture {
    QTemporaryDir dir;
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    LupenFensterManager magnifiers;
    QPointer<ZoomableImageEditor> sheet;
    QUuid id;
    QString png = dir.filePath(QStringLiteral("Strand.png"));

    explicit ClosingFixture(const QList<TextMark>& marks = {})
    {
        const QUrl url = writePhotoFile(dir.path(), QStringLiteral("Strand.jpg"),
                                        encodeWithVips(subjectPhoto(), QStringLiteral("jpg")));
        EXPECT_TRUE(loadAndWait(processor, {url}));
        id = processor.photos().first().id;
        EditState edits;
        edits.textMarks = marks;
        processor.setEdits(id, edits);
        sheet = new ZoomableImageEditor(processor, id, dialogs, magnifiers, {1000, 700});
        sheet->show();
        background().setEngine(FreistellenEngine(redSubject));
        EditorBench::settle();
    }
    ~ClosingFixture()
    {
        delete sheet.data();
        EditorBench::settle();
    }
    BackgroundTool& background()
    {
        return dynamic_cast<BackgroundTool&>(*sheet->editor().tool(DrawingMode::freisteller));
    }
    void close(Way way)
    {
        switch (way) {
        case Way::button:
            QTest::mouseClick(sheet->findChild<QPushButton*>(QStringLiteral("editorClose")), Qt::LeftButton);
            break;
        case Way::escape: QTest::keyClick(sheet, Qt::Key_Escape); break;
        case Way::windowClose: sheet->close(); break;
        }
    }
    /// Waits for the sheet to go, with the pool working.
    bool gone()
    {
        return QTest::qWaitFor([&] { return sheet.isNull(); }, kNoTimeLimit);
    }
};

const std::pair<Way, const char*> kWays[] = {
    {Way::button, "Schließen"}, {Way::escape, "Escape"}, {Way::windowClose, "window's close button"}};

} // namespace

// Each way of closing, at three moments. "Anwenden", then closing while the apply runs: no
// question, the sheet says it is finishing and takes no input, the one PNG is written, the
// result burnt in, then the sheet goes. Closing while the mask is computed, or while a chosen
// background photo decodes (the question about the result answered "Verwerfen"): the sheet goes
// at once, and what arrives later is dropped.
TEST(EditorClosing, WhileTheApplyRunsTheCloseWaitsAndWorkArrivingAfterTheSheetIsDropped)
{
    for (const auto& [way, name] : kWays) {
        SCOPED_TRACE(name);
        {
            ClosingFixture f;
            f.background().start();
            EditorBench::settle();
            f.background().setTransparent(true);
            EditorBench::settle();
            f.dialogs.saveTo(f.png);
            PoolHold hold;
            QTest::mouseClick(f.sheet->button(QStringLiteral("Anwenden")), Qt::LeftButton);
            f.close(way);
            f.close(way); // twice, impatiently
            EXPECT_TRUE(f.dialogs.questions.isEmpty());
            ASSERT_FALSE(f.sheet.isNull());
            EXPECT_EQ(f.sheet->hintText(), QStringLiteral("Wird abgeschlossen …"));
            EXPECT_FALSE(f.sheet->canvas()->isEnabled());
            hold.let();
            ASSERT_TRUE(f.gone());
            EXPECT_EQ(f.dialogs.saveRequests.size(), 1);
            EXPECT_EQ(QDir(f.dir.path()).entryList({QStringLiteral("*.png")}).size(), 1);
            EXPECT_EQ(f.processor.photo(f.id)->originalCI.size(), QSize(240, 160));
            EXPECT_EQ(pixel(*f.processor.photo(f.id)->originalCI.decode(), 2, 2).alpha(), 0); // burnt in
        }
        {
            ClosingFixture f;
            const QImage before = f.processor.photo(f.id)->preview->bitmap;
            PoolHold hold;
            f.background().start();
            f.close(way);
            ASSERT_TRUE(QTest::qWaitFor([&] { return f.sheet.isNull(); }, 5000)); // the pool is still held
            hold.let();
            EditorBench::settle();
            EXPECT_EQ(f.processor.photo(f.id)->preview->bitmap, before); // no composite arrived
        }
        {
            ClosingFixture f;
            f.background().start();
            EditorBench::settle();
            const QString green = f.dir.filePath(QStringLiteral("gruen.png"));
            ASSERT_TRUE(solid(300, 200, Qt::green).save(green));
            f.dialogs.chooseFilesWith({green});
            f.dialogs.answer(QStringLiteral("Verwerfen"));
            PoolHold hold;
            f.background().chooseBackgroundPhoto();
            f.close(way);
            ASSERT_TRUE(f.gone());
            hold.let();
            EditorBench::settle();
            EXPECT_EQ(f.dialogs.questions.size(), 1);
        }
    }
}

// Closing with text marks bakes them on the pool: the sheet waits, finishing, and goes when the
// bake is in.
TEST(EditorClosing, TheBakeOfTextMarksRunsOffTheUiThread)
{
    ClosingFixture f({textMark({120, 80}, QStringLiteral("Hallo"), 30)});
    const SourceImage original = f.processor.photo(f.id)->originalCI;
    PoolHold hold;
    f.close(Way::button);
    EXPECT_FALSE(f.sheet.isNull());
    EXPECT_EQ(f.sheet->hintText(), QStringLiteral("Wird abgeschlossen …"));
    EXPECT_TRUE(f.processor.photo(f.id)->originalCI == original); // the bake waits for the pool
    hold.let();
    ASSERT_TRUE(f.gone());
    EXPECT_FALSE(f.processor.photo(f.id)->originalCI == original);
    EXPECT_TRUE(f.processor.photo(f.id)->edits.textMarks.isEmpty());
}
