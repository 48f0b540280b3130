#include "app/SessionJournal.h"
#include "app/PhotoSelection.h"
#include "app/SessionRestore.h"
#include "support/DngFile.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

/// One session of the app's model: a processor, a selection and a journal on `folder`, with a
/// clock the test moves.
struct Session {
    explicit Session(const QString& folder)
        : journal(processor, selection, JournalFolder(folder), [this] { return now; })
    {
    }
    /// Writes what is due at the clock's time and waits for the writes. The clock starts at 0
    /// and stays there while photos load (whose appends the journal looks at once); `ms` counts
    /// from a minute later.
    void writeAt(qint64 ms)
    {
        now = 60'000 + ms;
        journal.tick();
        journal.waitForWrites();
    }
    QUuid idAt(int index) const { return processor.photos()[index].id; }

    qint64 now = 0;
    ImageProcessor processor;
    PhotoSelection selection;
    SessionJournal journal;
};

struct Fixture {
    QTemporaryDir dir;
    QString folderPath = dir.path() + QStringLiteral("/state/session");
    JournalFolder folder{folderPath};
    QList<QUrl> urls = writePhotos(dir, 3, 64, 48);

    /// A session with the three photos loaded.
    std::unique_ptr<Session> loaded()
    {
        auto session = std::make_unique<Session>(folderPath);
        EXPECT_TRUE(loadAndWait(session->processor, urls));
        return session;
    }
};

/// Offers the journal's restore to `next`, answers "Wiederherstellen" and waits for the photos.
JournalOutcome restoreInto(Fixture& f, Session& next, ScriptedDialogs& dialogs)
{
    dialogs.answer(QStringLiteral("Wiederherstellen"));
    bool restored = false;
    const JournalOutcome outcome =
        offerRestore(f.folder, dialogs, next.processor, next.selection, next.journal, [&] { restored = true; });
    EXPECT_TRUE(QTest::qWaitFor([&] { return restored; }));
    return outcome;
}

EditState adjusted(double exposure)
{
    EditState edits;
    edits.adjustment.exposure = exposure;
    return edits;
}

} // namespace

TEST(SessionJournal, WritesWhatDiffersFromTheFilesAtMostOncePerIntervalKeepingReplacedOriginalsOnce)
{
    Fixture f;
    auto s = f.loaded();
    s->writeAt(0);
    EXPECT_FALSE(f.folder.hasJournal()); // nothing differs from its file yet

    s->processor.applyAdjustment(AdjustmentState{0.5, 0, 1, 1, 0}, {s->idAt(0), s->idAt(2)});
    s->selection.click(s->idAt(2), false);
    s->writeAt(5000);
    EXPECT_EQ(s->journal.photoWrites(), 2);
    auto contents = f.folder.read();
    ASSERT_TRUE(contents) << contents.error().toStdString();
    ASSERT_EQ(contents->photos.size(), 3);
    EXPECT_EQ(contents->photos[1].entry.id, s->idAt(1));
    EXPECT_EQ(contents->changedCount(), 2);
    EXPECT_EQ(contents->photos[2].edits.adjustment.exposure, 0.5);
    EXPECT_EQ(contents->selection, QList<QUuid>{s->idAt(2)});

    // A slider moving: steps within the interval wait, the last one is written after it.
    for (int step = 1; step <= 5; ++step) {
        s->processor.applyAdjustment(AdjustmentState{0.5 + step * 0.1, 0, 1, 1, 0}, {s->idAt(0), s->idAt(2)});
        s->writeAt(5000 + step * 150);
    }
    EXPECT_EQ(s->journal.photoWrites(), 2);
    s->writeAt(6000);
    EXPECT_EQ(s->journal.photoWrites(), 4);
    EXPECT_DOUBLE_EQ(f.folder.read()->photos[0].edits.adjustment.exposure, 1.0);

    // Back to the files' state: no journal.
    s->processor.setEdits(s->idAt(0), EditState{});
    s->processor.setEdits(s->idAt(2), EditState{});
    s->writeAt(7000);
    EXPECT_FALSE(f.folder.hasJournal());
    EXPECT_TRUE(QDir(f.folderPath).entryList({QStringLiteral("photo-*")}, QDir::Files).isEmpty());

    // A replaced original is kept once, and saved photos leave no journal.
    s->processor.replaceImage(s->idAt(1), SourceImage::fromRaster(noise(40, 30)));
    s->writeAt(9000);
    const QStringList kept = QDir(f.folderPath).entryList({QStringLiteral("original-*")}, QDir::Files);
    ASSERT_EQ(kept.size(), 1);
    contents = f.folder.read(); // its pixels read back as written is checked on JournalFolder
    ASSERT_TRUE(contents);
    EXPECT_EQ(contents->photos[1].originalSize, QSize(40, 30));

    // Edits on the kept original write its record, not the original again.
    s->processor.setEdits(s->idAt(1), adjusted(0.2));
    s->writeAt(11'000);
    EXPECT_EQ(QDir(f.folderPath).entryList({QStringLiteral("original-*")}, QDir::Files), kept);
    EXPECT_EQ(f.folder.read()->photos[1].edits, adjusted(0.2));

    // Saved over their files: nothing differs any more.
    s->journal.everyPhotoSaved();
    s->journal.waitForWrites();
    EXPECT_FALSE(f.folder.hasJournal());
    EXPECT_TRUE(QDir(f.folderPath).entryList({QStringLiteral("original-*")}, QDir::Files).isEmpty());

    // An edit after the save keeps the photo's original in the journal: the file holds its render now.
    s->processor.setEdits(s->idAt(0), adjusted(0.4));
    s->writeAt(13'000);
    contents = f.folder.read();
    ASSERT_TRUE(contents);
    EXPECT_FALSE(contents->photos[0].originalPath.isEmpty());
    EXPECT_EQ(contents->photos[0].edits, adjusted(0.4));

    s->journal.endSession();
    EXPECT_FALSE(f.folder.hasJournal());
    EXPECT_TRUE(
        QDir(f.folderPath).entryList({QStringLiteral("photo-*"), QStringLiteral("original-*")}, QDir::Files).isEmpty());
}

// That order, edits and originals come back as they were, the app's crash test checks by
// exporting; here the question, the selection, the journal going on from the restore, and a
// camera RAW file behind a kept original staying one (its save must still go beside it).
TEST(SessionRestore, BringsBackOrderEditsOriginalsAndSelection)
{
    Fixture f;
    f.urls[2] = writePhotoFile(f.dir.path(), QStringLiteral("DSC_0001.NEF"), makeDng(noise(64, 48)));
    QList<QUuid> selected;
    {
        auto s = f.loaded(); // ended without endSession(): a crash
        ASSERT_TRUE(s->processor.photos()[2].cameraRawFile);
        s->processor.rotate({s->idAt(0)}, RotationDirection::left);
        s->processor.replaceImage(s->idAt(2), SourceImage::fromRaster(noise(40, 30)));
        s->processor.setEdits(s->idAt(2), adjusted(-0.3));
        s->selection.click(s->idAt(2), false);
        s->selection.click(s->idAt(0), true);
        ASSERT_TRUE(waitIdle(s->processor));
        s->writeAt(0);
        selected = s->selection.ordered();
    }
    ASSERT_TRUE(JournalLock::acquire(f.folder));

    Session next(f.folderPath);
    ScriptedDialogs dialogs;
    EXPECT_EQ(restoreInto(f, next, dialogs), JournalOutcome::restoring);
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_EQ(dialogs.questions[0].message,
              QStringLiteral("Die letzte Sitzung wurde nicht beendet. 2 Fotos mit Änderungen wiederherstellen?"));
    EXPECT_EQ(dialogs.questions[0].defaultButton, 0);
    EXPECT_TRUE(dialogs.messages.isEmpty());
    ASSERT_EQ(next.processor.photos().size(), 3);
    EXPECT_EQ(next.selection.ordered(), selected);
    EXPECT_EQ(next.processor.photos()[2].originalCI.size(), QSize(40, 30));
    EXPECT_TRUE(next.processor.photos()[2].cameraRawFile);

    // The restored session journals on from here, with the kept original adopted, not rewritten.
    ASSERT_TRUE(waitIdle(next.processor));
    next.writeAt(10'000);
    EXPECT_EQ(QDir(f.folderPath).entryList({QStringLiteral("original-*")}, QDir::Files).size(), 1);
    EXPECT_EQ(f.folder.read()->changedCount(), 2);
}

TEST(SessionRestore, ChangedPhotosAreLeftOutAndNamedAndTheJournalStaysUntilAnswered)
{
    Fixture f;
    {
        auto s = f.loaded();
        s->processor.setEdits(s->idAt(0), adjusted(0.1));
        s->processor.setEdits(s->idAt(1), adjusted(0.2));
        s->writeAt(0);
    }
    // Changed since: another program wrote the first photo anew.
    ASSERT_TRUE(writeAll(f.urls[0].toLocalFile(), jpegOf(Qt::red)));

    // An end while a restore loads, and a question closed without a choice, leave the journal as it is.
    {
        Session loading(f.folderPath);
        loading.journal.setListPaused(true); // as offerRestore does until the photos are back
        loading.journal.endSession();
        EXPECT_EQ(f.folder.read()->changedCount(), 1); // the other one is left out as changed
    }
    {
        Session next(f.folderPath);
        ScriptedDialogs dismiss;
        EXPECT_EQ(offerRestore(f.folder, dismiss, next.processor, next.selection, next.journal), JournalOutcome::kept);
        EXPECT_TRUE(f.folder.hasJournal());
    }
    Session next(f.folderPath);
    ScriptedDialogs dialogs;
    (void)restoreInto(f, next, dialogs);
    EXPECT_EQ(dialogs.questions[0].message,
              QStringLiteral("Die letzte Sitzung wurde nicht beendet. 1 Foto mit Änderungen wiederherstellen?"));
    ASSERT_EQ(next.processor.photos().size(), 2);
    EXPECT_EQ(next.processor.photos()[0].edits, adjusted(0.2));
    ASSERT_EQ(dialogs.messages.size(), 1);
    EXPECT_TRUE(dialogs.messages[0].second.contains(
        QStringLiteral("„%1“: Die Datei wurde seitdem verändert.").arg(f.urls[0].fileName())))
        << dialogs.messages[0].second.toStdString();

    // "Verwerfen" removes it; an unusable journal is named and kept unless discarded.
    ASSERT_TRUE(waitIdle(next.processor));
    next.writeAt(10'000);
    ASSERT_TRUE(writeAll(f.folderPath + QStringLiteral("/session.json"), "{\"format\": \"lumora-session\""));
    ScriptedDialogs keep;
    keep.answer(QStringLiteral("Behalten"));
    EXPECT_EQ(offerRestore(f.folder, keep, next.processor, next.selection, next.journal), JournalOutcome::kept);
    EXPECT_TRUE(keep.questions[0].message.contains(QStringLiteral("unvollständig")));
    EXPECT_TRUE(f.folder.hasJournal());
    ScriptedDialogs discard;
    discard.answer(QStringLiteral("Verwerfen"));
    EXPECT_EQ(offerRestore(f.folder, discard, next.processor, next.selection, next.journal), JournalOutcome::discarded);
    EXPECT_FALSE(f.folder.hasJournal());
}
