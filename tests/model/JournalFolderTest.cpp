#include "model/JournalFolder.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"
#include "support/ScopedEnv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace lumora;
using namespace lumora::test;

namespace {

/// A journal folder with two photos on disk: the first with edits and a kept original, the
/// second without a record.
struct Journal {
    QTemporaryDir dir;
    QString photos = dir.path() + QStringLiteral("/photos");
    JournalFolder folder{dir.path() + QStringLiteral("/state/lumora-studio/session")};
    JournalSession session;
    JournalPhoto edited;

    Journal()
    {
        QDir().mkpath(photos);
        EXPECT_TRUE(folder.create());
        for (const QString& name : {QStringLiteral("a.jpg"), QStringLiteral("b.jpg")}) {
            const QUrl url = writePhotoFile(photos, name, jpegOf(Qt::darkGreen));
            session.photos.append({QUuid::createUuid(), url.toLocalFile(), *identityOf(url.toLocalFile())});
        }
        session.selection = {session.photos[1].id};
        edited.id = session.photos[0].id;
        edited.originalSize = QSize(40, 30);
        edited.edits.rotation = 90;
        edited.edits.adjustment.exposure = 0.3;
        edited.edits.masks.append(MaskRect{QRectF(1, 2, 3, 4), QStringLiteral("#000000")});
        const SourceImage kept = SourceImage::fromRaster(noise(40, 30));
        edited.originalFile = *folder.writeOriginal(edited.id, 1, kept);
        EXPECT_TRUE(folder.writePhoto(edited));
        EXPECT_TRUE(folder.writeSession(session));
    }
    QString file(const QString& name) const { return folder.path() + QLatin1Char('/') + name; }
    QString sessionFile() const { return file(QStringLiteral("session.json")); }
    QString photoFile() const { return file(JournalFolder::photoFileName(edited.id)); }
};

} // namespace

TEST(JournalFolder, WrittenJournalReadsBackWithItsOriginalAndSelection)
{
    Journal journal;
    auto contents = journal.folder.read();
    ASSERT_TRUE(contents) << contents.error().toStdString();
    ASSERT_EQ(contents->photos.size(), 2);
    EXPECT_TRUE(contents->skipped.isEmpty());
    EXPECT_EQ(contents->photos[0].entry, journal.session.photos[0]);
    EXPECT_EQ(contents->photos[0].edits, journal.edited.edits);
    EXPECT_EQ(contents->photos[0].originalSize, QSize(40, 30));
    EXPECT_EQ(contents->photos[1].edits, EditState{});
    EXPECT_EQ(contents->changedCount(), 1);
    EXPECT_EQ(contents->selection, journal.session.selection);

    // The kept original is the same pixels, read back through the photo decoders.
    auto original = SourceImage::fromFile(contents->photos[0].originalPath);
    ASSERT_TRUE(original);
    EXPECT_EQ(original->decode()->convertToFormat(QImage::Format_RGB32),
              noise(40, 30).convertToFormat(QImage::Format_RGB32));

    // Folders are private, and the photo's other originals go when their successor is named.
    EXPECT_EQ(QFileInfo(journal.folder.path()).permissions() & 0077, 0);
    const QString older = *journal.folder.writeOriginal(journal.edited.id, 0, SourceImage::fromRaster(noise(4, 4)));
    journal.folder.removeOriginals(journal.edited.id, journal.edited.originalFile);
    EXPECT_FALSE(QFileInfo::exists(journal.file(older)));
    EXPECT_TRUE(QFileInfo::exists(contents->photos[0].originalPath));

    journal.folder.clear();
    EXPECT_FALSE(journal.folder.hasJournal());
    EXPECT_TRUE(QDir(journal.folder.path()).entryList(QDir::Files).isEmpty());
    // The lock tells a live session from an ended one: while held, a second instance keeps off;
    // released (as a killed process's lock is), it can be taken.
    auto lock = JournalLock::acquire(journal.folder);
    ASSERT_TRUE(lock);
    EXPECT_FALSE(JournalLock::acquire(journal.folder));
    lock.reset();
    EXPECT_TRUE(JournalLock::acquire(journal.folder));
}

TEST(JournalFolder, StateFolderFollowsXdgStateHome)
{
    {
        ScopedEnv state("XDG_STATE_HOME", "/tmp/lumora-state-test");
        EXPECT_EQ(JournalFolder::defaultPath(), QStringLiteral("/tmp/lumora-state-test/lumora-studio/session"));
    }
    ScopedEnv relative("XDG_STATE_HOME", "relative/state");
    EXPECT_EQ(JournalFolder::defaultPath(), QDir::homePath() + QStringLiteral("/.local/state/lumora-studio/session"));
}

TEST(JournalFolder, HostileSessionFilesAreRefusedWithAGermanReason)
{
    Journal journal;
    const QByteArray good = readAll(journal.sessionFile());
    const auto v1 = [](const QByteArray& rest) { return R"({"format": "lumora-session", "version": 1, )" + rest; };
    const std::tuple<const char*, QByteArray, const char*> cases[] = {
        {"empty", "", "unvollständig"},
        {"cut in the list", good.left(good.indexOf("\"photos\"") + 30), "unvollständig"},
        {"an array", "[]", "kein JSON-Objekt"},
        {"another format", R"({"format": "x", "version": 1, "photos": []})", "kein Sitzungsprotokoll"},
        {"newer", R"({"format": "lumora-session", "version": 2, "photos": []})", "neueren Version"},
        {"version as text", R"({"format": "lumora-session", "version": "1", "photos": []})", "Version"},
        {"photos not a list", v1(R"("photos": {}})"), "Fotoliste"},
        {"entry of wrong types", v1(R"("photos": [{"id": 5, "path": [], "size": "x"}]})"), "Eintrag"},
        {"relative path", v1(R"("photos": [{"id": "6f1b2c1e-0000-4000-8000-000000000001", "path": "a.jpg", "size": 1,
            "modified": "1", "inode": "1"}]})"),
         "Eintrag"},
        {"huge count", v1(R"("photos": [)" + QByteArray("0,").repeated(100'001) + "0]}"), "zu lang"},
        {"selection not a list", v1(R"("photos": [], "selection": "x"})"), "Auswahl"},
    };
    for (const auto& [what, bytes, mentions] : cases) {
        SCOPED_TRACE(what);
        ASSERT_TRUE(writeAll(journal.sessionFile(), bytes));
        auto contents = journal.folder.read();
        ASSERT_FALSE(contents);
        EXPECT_TRUE(contents.error().contains(QString::fromUtf8(mentions))) << contents.error().toStdString();
        EXPECT_TRUE(QFileInfo::exists(journal.photoFile())); // nothing removed by reading
    }

    // A FIFO in the session file's place is refused without blocking.
    QFile::remove(journal.sessionFile());
    ASSERT_EQ(mkfifo(journal.sessionFile().toLocal8Bit().constData(), 0600), 0);
    auto fifo = journal.folder.read();
    ASSERT_FALSE(fifo);
    EXPECT_TRUE(fifo.error().contains(QStringLiteral("keine reguläre Datei"))) << fifo.error().toStdString();
}

TEST(JournalFolder, UnusablePhotosAreLeftOutOneByOneWithTheirName)
{
    // Replaces `from` by `to` in the first photo's record.
    const auto edit = [](QByteArray from, QByteArray to) {
        return [=](Journal& j) { writeAll(j.photoFile(), readAll(j.photoFile()).replace(from, to)); };
    };
    const std::tuple<const char*, std::function<void(Journal&)>, const char*> cases[] = {
        {"record cut", [](Journal& j) { writeAll(j.photoFile(), readAll(j.photoFile()).left(40)); }, "unvollständig"},
        {"record of a newer version", edit("\"version\":1", "\"version\":7"), "neueren Version"},
        {"edits of wrong type", edit("\"rotation\":90", "\"rotation\":\"90\""), "rotation"},
        {"original outside the folder",
         [&](Journal& j) { edit(j.edited.originalFile.toUtf8(), "../../../etc/passwd")(j); },
         "Name des neuen Originals"},
        {"original gone", [](Journal& j) { QFile::remove(j.file(j.edited.originalFile)); }, "neue Original fehlt"},
        {"huge size", edit("[40,30]", "[100000,100000]"), "Bildgröße"},
        {"photo changed", [](Journal& j) { writeAll(j.session.photos[0].path, jpegOf(Qt::red)); }, "verändert"},
        {"photo gone", [](Journal& j) { QFile::remove(j.session.photos[0].path); }, "nicht mehr da"},
        {"photo replaced by a device",
         [](Journal& j) {
             QFile::remove(j.session.photos[0].path);
             QFile::link(QStringLiteral("/dev/zero"), j.session.photos[0].path);
         },
         "keine reguläre Datei"},
    };
    for (const auto& [what, spoil, mentions] : cases) {
        SCOPED_TRACE(what);
        Journal journal;
        spoil(journal);
        auto contents = journal.folder.read();
        ASSERT_TRUE(contents) << contents.error().toStdString();
        ASSERT_EQ(contents->photos.size(), 1);
        EXPECT_EQ(contents->photos[0].entry.id, journal.session.photos[1].id);
        ASSERT_EQ(contents->skipped.size(), 1);
        EXPECT_TRUE(contents->skipped[0].startsWith(QStringLiteral("„a.jpg“: ")));
        EXPECT_TRUE(contents->skipped[0].contains(QString::fromUtf8(mentions))) << contents->skipped[0].toStdString();
    }
}
