#include "fileops/DeleteRestore.h"
#include "FileopsTestSupport.h"
#include "base/AtomicFile.h"
#include "base/NativePath.h"
#include "base/RegularFile.h"
#include "fileops/SaveExport.h"
#include "model/ImageProcessor.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"
#include "support/ScopedEnv.h"
#include "support/SmallVolume.h"

#include "support/Requirements.h"
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace lumora;
using lumora::test::ended;
using lumora::test::readAll;
using lumora::test::writeAll;

namespace {

/// A folder with the photos A…E as small JPEGs of different sizes, loaded in that order, and a
/// home of its own (HOME points there) whose trash, on the same volume, takes their files.
struct DeleteFixture : ::testing::Test {
    QTemporaryDir home;
    test::ScopedEnv fakeHome{"HOME", home.path().toUtf8()};
    QTemporaryDir dir;
    ImageProcessor processor;
    QMap<QString, QByteArray> bytesOf; // by name "A" … "E"

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && home.isValid());
        int w = 16;
        for (const QString name : {"A", "B", "C", "D", "E"}) {
            bytesOf[name] = test::encodeWithVips(test::quadrants(w += 4, 16), QStringLiteral("jpg"));
            insertPhoto(processor.photos().size(), path(name), bytesOf[name]);
        }
    }

    /// Deletes the photos with a token nobody cancels and waits for the end.
    StreamEnd trash(const QSet<QUuid>& photos, QList<double>* values = nullptr)
    {
        return deleteFiles(processor, photos, std::make_shared<CancelToken>())->wait(values);
    }

    QString trashFolder() const { return home.filePath(QStringLiteral(".qttest/share/Trash")); }

    /// The bytes the trash holds for the file that was at `originalPath`; none when it holds none.
    std::optional<QByteArray> trashed(const QString& originalPath) const
    {
        QDirIterator infos(trashFolder() + QStringLiteral("/info"), {QStringLiteral("*.trashinfo")}, QDir::Files);
        while (infos.hasNext()) {
            const QString info = infos.next();
            if (readAll(info).contains("Path=" + QUrl::toPercentEncoding(originalPath, "/") + '\n'))
                return readAll(trashFolder() + QStringLiteral("/files/") + QFileInfo(info).completeBaseName());
        }
        return std::nullopt;
    }

    QString path(const QString& name) const { return dir.filePath(name + QStringLiteral(".jpg")); }

    /// The ids of the photos with these names ("B" for B.jpg), of every photo without names.
    QSet<QUuid> ids(const QStringList& names = {}) const
    {
        QSet<QUuid> result;
        for (const PhotoItem& photo : processor.photos())
            if (names.isEmpty() || names.contains(QFileInfo(photo.url.fileName()).completeBaseName()))
                result.insert(photo.id);
        return result;
    }

    /// Writes `bytes` to `file` and puts its photo at `index` of the list.
    PhotoItem insertPhoto(qsizetype index, const QString& file, const QByteArray& bytes)
    {
        EXPECT_TRUE(writeAll(file, bytes));
        QList<PhotoItem> photos = processor.photos();
        photos.insert(index, test::photoAt(QUrl::fromLocalFile(file)));
        processor.setPhotos(photos);
        return photos[index];
    }

    std::string order() const
    {
        QString names;
        for (const PhotoItem& photo : processor.photos())
            names += QFileInfo(photo.url.fileName()).baseName();
        return names.toStdString();
    }

    /// Which of A…E are in the folder, each followed by "*" where its bytes changed ("AC*E").
    std::string onDisk() const
    {
        QString names;
        for (const QString& name : bytesOf.keys())
            if (QFile::exists(path(name)))
                names += readAll(path(name)) == bytesOf[name] ? name : name + QLatin1Char('*');
        return names.toStdString();
    }

    /// The undo stack, oldest group first: each photo's name, marked where it kept no bytes or
    /// others than its file held when it was loaded.
    QList<QStringList> undoGroups() const
    {
        QList<QStringList> groups;
        for (const QList<DeletedItem>& group : processor.deleteUndoStack()) {
            groups.append(QStringList());
            for (const DeletedItem& item : group) {
                const QString name = QFileInfo(item.photo.url.fileName()).completeBaseName();
                const bool own = item.originalData && *item.originalData == bytesOf.value(name);
                groups.last().append(name + (!item.originalData ? " (no bytes)" : own ? "" : " (other bytes)"));
            }
        }
        return groups;
    }
};

/// A file name of 250 bytes: its ".trashinfo" would exceed what a file system allows.
const QString kLongName = QString(246, QLatin1Char('x')) + QStringLiteral(".jpg");

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

/// Puts an entry into the trash folder `trash` as another program would have: `name` under
/// "files", its information naming `from`.
bool plantTrashEntry(const QString& trash, const QString& name, const QString& from, const QByteArray& bytes)
{
    return QDir().mkpath(trash + QStringLiteral("/files")) && QDir().mkpath(trash + QStringLiteral("/info"))
           && writeAll(trash + QStringLiteral("/files/") + name, bytes)
           && writeAll(trash + QStringLiteral("/info/") + name + QStringLiteral(".trashinfo"),
                       "[Trash Info]\nPath=" + QUrl::toPercentEncoding(from, "/")
                           + "\nDeletionDate=2024-05-01T10:00:00\n");
}

/// The bytes of the file whose name in `folder` is exactly the bytes `name`.
QByteArray readRaw(const QString& folder, const QByteArray& name)
{
    return readRegularFile(pathFromNative(QFile::encodeName(folder) + '/' + name)).value_or(QByteArray());
}

/// A trash folder on a card as someone may have left it, before a photo is deleted there: a
/// shared ".Trash" ("owner:mode"), ".Trash/<uid>" ("owner:mode" or "link"), its "files", and
/// ".Trash-<uid>", each none when empty; then where the photo goes: ".Trash/<uid>",
/// ".Trash-<uid>" or "" (removed for good).
struct TrashSetup {
    const char *name, *shared, *mine, *mineFiles, *own, *expected;
};

/// Another user on the machine, by number (no account is needed to own a folder).
constexpr uid_t kOtherUser = 4242;

/// Makes `path` a folder of `spec` ("me:0700", "other:0777"), none for an empty spec; false when it cannot.
bool makeFolder(const QString& path, const QString& spec)
{
    if (spec.isEmpty())
        return true;
    const QStringList parts = spec.split(QLatin1Char(':'));
    const QByteArray native = QFile::encodeName(path);
    const uid_t owner = parts[0] == QLatin1String("other") ? kOtherUser : ::getuid();
    return ::mkdir(native.constData(), 0700) == 0 && ::chown(native.constData(), owner, ::getgid()) == 0
           && ::chmod(native.constData(), mode_t(parts[1].toUInt(nullptr, 8))) == 0;
}

} // namespace

// A later deletion is restored first; a restore with nothing left to restore does nothing. What
// is kept for the undo is the photo's own bytes while its file is the version they were read
// from; a file changed since the load is kept as it is now.
TEST_F(DeleteFixture, DeletedFilesGoToTheTrashAndComeBackByteForByte)
{
    QList<double> values;
    EXPECT_EQ(ended(trash(ids({"D", "B"}), &values)), "2/2");
    EXPECT_EQ(values, (QList<double>{0.5, 1.0}));
    EXPECT_EQ(order(), "ACE");
    // The group holds the photos in list order with their files' bytes; the files left their
    // folder for the trash, whole.
    EXPECT_EQ(undoGroups(), (QList<QStringList>{{"B", "D"}}));
    EXPECT_EQ(onDisk(), "ACE");
    for (const QString name : {"B", "D"})
        EXPECT_EQ(trashed(path(name)), bytesOf[name]) << name.toStdString();

    const QByteArray changed = test::encodeWithVips(test::quadrants(40, 30), QStringLiteral("jpg"));
    ASSERT_TRUE(writeAll(path("C"), changed));
    trash(ids({"C"}));
    ASSERT_EQ(undoGroups().last(), QStringList{QStringLiteral("C (other bytes)")});
    EXPECT_EQ(*processor.deleteUndoStack().last()[0].originalData, changed);
    EXPECT_EQ(restoreLastDeletion(processor).restored, 1);
    EXPECT_EQ(order(), "CAE");
    EXPECT_EQ(readAll(path("C")), changed);
    EXPECT_EQ(restoreLastDeletion(processor), (RestoreResult{2, 2, {}}));
    EXPECT_EQ(order(), "DBCAE");
    EXPECT_EQ(onDisk(), "ABC*DE");
    EXPECT_EQ(undoGroups(), QList<QStringList>());
    restoreLastDeletion(processor);
    EXPECT_EQ(order(), "DBCAE");
}

TEST_F(DeleteFixture, CancelledOrRemovedFromTheOverviewKeepsFilesAndRestoreRewritesKeptBytes)
{
    auto token = std::make_shared<CancelToken>();
    token->cancel();
    QList<double> values;
    EXPECT_EQ(ended(deleteFiles(processor, ids({"A", "C"}), token)->wait(&values)), "cancelled 0/2");
    EXPECT_TRUE(values.isEmpty());
    EXPECT_EQ(order(), "BDE");
    EXPECT_EQ(onDisk(), "ABCDE");

    // Spoil one file on disk: restore must write the kept bytes, not trust what is there.
    ASSERT_TRUE(writeAll(path("A"), "beschädigt"));
    restoreLastDeletion(processor);
    EXPECT_EQ(order(), "CABDE");
    EXPECT_EQ(onDisk(), "ABCDE");

    // Removing from the overview leaves the files alone and keeps no bytes.
    removeFromOverview(processor, ids({"D", "B"}) + QSet<QUuid>{QUuid::createUuid()});
    EXPECT_EQ(order(), "CAE");
    EXPECT_EQ(undoGroups(), (QList<QStringList>{{"B (no bytes)", "D (no bytes)"}}));
    EXPECT_EQ(onDisk(), "ABCDE");
    EXPECT_TRUE(canRestore(processor));
    // Without any folder left the restore command is off, yet a restore still brings the
    // photos back, since nothing has to be written.
    ASSERT_TRUE(QDir(dir.path()).removeRecursively());
    EXPECT_FALSE(canRestore(processor));
    restoreLastDeletion(processor);
    EXPECT_EQ(order(), "DBCAE");
}

TEST_F(DeleteFixture, UnreadableFilesStayOutOfTheUndoGroup)
{
    ASSERT_TRUE(QFile::remove(path("B")) && QFile::remove(path("C")));
    QStringList unreadable{"B", "C"};
    if (::geteuid() != 0) { // root reads any file regardless of its mode
        ASSERT_TRUE(QFile::setPermissions(path("D"), QFileDevice::WriteOwner));
        unreadable.append("D");
    }

    const int n = int(unreadable.size());
    EXPECT_EQ(ended(trash(ids(unreadable))), std::to_string(n) + "/" + std::to_string(n));
    EXPECT_EQ(order(), n == 3 ? "AE" : "ADE");
    EXPECT_EQ(undoGroups(), QList<QStringList>());

    // Mixed with a readable file, only that one is kept for the restore.
    ASSERT_TRUE(QFile::remove(path("E")));
    trash(ids({"A", "E"}));
    EXPECT_EQ(undoGroups(), (QList<QStringList>{{"A"}}));
}

TEST_F(DeleteFixture, RestoreDropsPhotosItCannotWriteBack)
{
    // B lives in a folder that will vanish; C's place will be taken by a folder.
    QDir(dir.path()).mkdir(QStringLiteral("Karte"));
    const QString moved = dir.filePath(QStringLiteral("Karte/B.jpg"));
    ASSERT_TRUE(QFile::rename(path("B"), moved));
    const PhotoItem inCard = test::photoAt(QUrl::fromLocalFile(moved));
    QList<PhotoItem> photos = processor.photos();
    photos[1] = inCard;
    processor.setPhotos(photos);

    trash(ids({"C", "D"}) + QSet<QUuid>{inCard.id});
    ASSERT_TRUE(QDir(trashFolder()).removeRecursively()); // the trash was emptied meanwhile
    ASSERT_TRUE(QDir(dir.filePath(QStringLiteral("Karte"))).removeRecursively());
    ASSERT_TRUE(QDir(dir.path()).mkdir(QStringLiteral("C.jpg")));

    restoreLastDeletion(processor);
    EXPECT_EQ(order(), "DAE");
    EXPECT_EQ(readAll(path("D")), bytesOf["D"]);
    EXPECT_FALSE(QFile::exists(moved));
}

// Without a trash the kept bytes are written back, but only where the photo was: a link planted
// under a deleted photo's free name does not carry the restore elsewhere.
TEST_F(DeleteFixture, WithoutAnyTrashFilesAreRemovedForGoodAndRestoredOnlyWhereTheyWere)
{
    // A home that is a plain file leaves no place for the user's trash, nor does the working
    // folder, where a trash of last resort would otherwise be made.
    QTemporaryDir elsewhere;
    ASSERT_TRUE(writeAll(elsewhere.filePath(QStringLiteral("home")), "kein Ordner"));
    const test::ScopedEnv noHome("HOME", elsewhere.filePath(QStringLiteral("home")).toUtf8());
    const auto back = qScopeGuard([workingDir = QDir::currentPath()] { QDir::setCurrent(workingDir); });
    QDir::setCurrent(elsewhere.path());
    const QString secret = dir.filePath(QStringLiteral("geheim.txt"));
    ASSERT_TRUE(writeAll(secret, "nicht überschreiben"));

    EXPECT_EQ(ended(trash(ids({"A", "B"}))), "2/2");
    EXPECT_EQ(onDisk(), "CDE");
    EXPECT_EQ(entriesOf(elsewhere.path()), QStringList{QStringLiteral("home")});
    ASSERT_TRUE(QFile::link(secret, path(QStringLiteral("A"))));
    EXPECT_EQ(restoreLastDeletion(processor),
              (RestoreResult{1,
                             2,
                             {QStringLiteral("„A.jpg“ konnte nicht geschrieben werden: Der Pfad führt inzwischen zu "
                                             "einer anderen Datei als der, die geladen wurde.")}}));
    EXPECT_EQ(readAll(secret), QByteArray("nicht überschreiben"));
    EXPECT_EQ(readAll(path("B")), bytesOf["B"]);
}

TEST_F(DeleteFixture, ATrashThatCannotBeWrittenStillEndsTheDeletionWithEveryFileHandled)
{
    const QString trashFolder = this->trashFolder();
    ASSERT_TRUE(QDir().mkpath(trashFolder + QStringLiteral("/files")));
    // "info" is a plain file: nobody, not even root, can make an information file in it.
    ASSERT_TRUE(writeAll(trashFolder + QStringLiteral("/info"), "kein Ordner"));
    ASSERT_EQ(::chmod(QFile::encodeName(trashFolder).constData(), 0555), 0);
    const auto writable = qScopeGuard([&] { ::chmod(QFile::encodeName(trashFolder).constData(), 0700); });

    const QString longPath = dir.filePath(kLongName);
    insertPhoto(1, longPath, bytesOf["A"]);
    EXPECT_EQ(ended(trash(ids())), "6/6");
    // No trash could take them: every file was removed for good, none left behind.
    EXPECT_EQ(entriesOf(dir.path()), QStringList());
    EXPECT_EQ(entriesOf(trashFolder + QStringLiteral("/files")), QStringList());
    restoreLastDeletion(processor);
    EXPECT_EQ(readAll(longPath), bytesOf["A"]);
}

// A name too long for its ".trashinfo" goes to the trash under a shorter one and comes back.
TEST_F(DeleteFixture, RestoreTakesTheFilesBackOutOfTheTrash)
{
    const QString trashFolder = this->trashFolder();
    // Already in the trash: an older B.jpg from the same place, and one with B's bytes from elsewhere.
    ASSERT_TRUE(plantTrashEntry(trashFolder, QStringLiteral("B.jpg"), path("B"), "älter"));
    ASSERT_TRUE(
        plantTrashEntry(trashFolder, QStringLiteral("B.1.jpg"), home.filePath(QStringLiteral("B.jpg")), bytesOf["B"]));
    const QString longPath = dir.filePath(kLongName);
    const PhotoItem longOne = insertPhoto(0, longPath, bytesOf["C"]);

    EXPECT_EQ(trash(ids({"B", "D"}) + QSet<QUuid>{longOne.id}).done, 3);
    EXPECT_EQ(entriesOf(trashFolder + QStringLiteral("/files")).size(), 5);
    EXPECT_FALSE(QFile::exists(longPath));
    EXPECT_EQ(trashed(longPath), bytesOf["C"]);

    EXPECT_EQ(restoreLastDeletion(processor), (RestoreResult{3, 3, {}}));
    EXPECT_EQ(order(), "DB" + std::string(246, 'x') + "ACE");
    EXPECT_EQ(onDisk(), "ABCDE");
    EXPECT_EQ(readAll(longPath), bytesOf["C"]);
    // Only the entries of this deletion left the trash, with their information.
    EXPECT_EQ(entriesOf(trashFolder + QStringLiteral("/files")),
              (QStringList{QStringLiteral("B.1.jpg"), QStringLiteral("B.jpg")}));
    EXPECT_EQ(entriesOf(trashFolder + QStringLiteral("/info")),
              (QStringList{QStringLiteral("B.1.jpg.trashinfo"), QStringLiteral("B.jpg.trashinfo")}));
    EXPECT_EQ(readAll(trashFolder + QStringLiteral("/files/B.jpg")), QByteArray("älter"));
}

TEST_F(DeleteFixture, RestoreAfterADeleteOnAReadOnlyCardWritesNothingAndCountsTruly)
{
    const QString cardPath = dir.filePath(QStringLiteral("Karte"));
    ASSERT_TRUE(QDir().mkpath(cardPath));
    const test::SmallVolume card(cardPath, QStringLiteral("1m"));
    LUMORA_REQUIRE(card.mounted(), "mounting a tmpfs needs root");
    const auto onCard = [&](const QString& name) { return QDir(cardPath).filePath(name + QStringLiteral(".jpg")); };
    processor.setPhotos({});
    for (const QString name : {"C", "B", "A"})
        insertPhoto(0, onCard(name), bytesOf[name]);
    ASSERT_TRUE(card.remountReadOnly());

    EXPECT_EQ(trash(ids()).done, 3);
    EXPECT_EQ(entriesOf(cardPath).size(), 3); // the card kept its files

    EXPECT_EQ(restoreLastDeletion(processor), (RestoreResult{3, 3, {}}));
    for (const QString name : {"A", "B", "C"})
        EXPECT_EQ(readAll(onCard(name)), bytesOf[name]);
}

// A restore that could not write every file says how many came back, then why the others did
// not (the sentences of the failures, each naming its file, are made where the write fails).
TEST(RestoreMessage, CountsWhatCameBackAndListsEachFailure)
{
    EXPECT_EQ(restoreMessage({3, 3, {}}), QStringLiteral("Bilder wurden wiederhergestellt."));
    EXPECT_EQ(restoreMessage({2, 3, {QStringLiteral("„B.jpg“ fehlt.")}}),
              QStringLiteral("2 von 3 Bildern wurden wiederhergestellt.\n\n„B.jpg“ fehlt."));
    EXPECT_EQ(restoreMessage({1, 3, {QStringLiteral("„A.jpg“ fehlt."), QStringLiteral("„C.jpg“ fehlt.")}}),
              QStringLiteral("1 von 3 Bildern wurde wiederhergestellt.\n\n„A.jpg“ fehlt.\n„C.jpg“ fehlt."));
}

TEST_F(DeleteFixture, NamesThatAreNotUtf8OrHoldALineBreakLoadSaveGoToTheTrashAndComeBack)
{
    const QString trashInfo = trashFolder() + QStringLiteral("/info");
    const QByteArray names[] = {QByteArray("latin1-\xE9t\xE9.jpg"), QByteArray("Zeile\nUmbruch.jpg"),
                                QByteArray("halb-\xC3.jpg")};
    const auto removeFiles = qScopeGuard([&] { // Qt's own removal would not find them
        for (const QByteArray& name : names)
            ::unlink((QFile::encodeName(dir.path()) + '/' + name).constData());
    });
    QList<QUrl> urls;
    for (const QByteArray& name : names) {
        urls.append(QUrl::fromLocalFile(pathFromNative(QFile::encodeName(dir.path()) + '/' + name)));
        ASSERT_TRUE(writeFileAtomically(urls.last().toLocalFile(), bytesOf["C"]));
    }
    processor.setPhotos({});
    ASSERT_TRUE(test::loadAndWait(processor, urls));
    ASSERT_EQ(processor.photos().size(), 3);
    processor.applyAdjustment(AdjustmentState{.exposure = 0.5}, {processor.photos()[0].id});
    EXPECT_EQ(ended(saveOverOriginals(processor, std::make_shared<CancelToken>())->wait()), "3/3");
    QList<QByteArray> savedBytes;
    for (const QByteArray& name : names) {
        savedBytes.append(readRaw(dir.path(), name));
        EXPECT_TRUE(savedBytes.last().startsWith("\xFF\xD8")) << name.toStdString(); // written under its own name
    }
    EXPECT_NE(savedBytes[0], savedBytes[1]);

    EXPECT_EQ(trash(ids()).done, 3);
    // Each information file has one line per key, the old place percent-encoded byte for byte.
    QByteArray infos;
    DIR* folder = ::opendir(QFile::encodeName(trashInfo).constData()); // Qt's listing would lose the bytes
    ASSERT_TRUE(folder);
    while (const dirent* entry = ::readdir(folder))
        infos += readRaw(trashInfo, QByteArray(entry->d_name));
    ::closedir(folder);
    for (const char* line : {"/latin1-%E9t%E9.jpg\n", "/Zeile%0AUmbruch.jpg\n", "/halb-%C3.jpg\n"})
        EXPECT_TRUE(infos.contains(line)) << infos.toStdString();
    EXPECT_EQ(infos.count("\nPath="), 3);

    EXPECT_EQ(restoreLastDeletion(processor).restored, 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(readRaw(dir.path(), names[i]), savedBytes[i]) << names[i].toStdString();
    EXPECT_TRUE(QDir(trashInfo).entryList(QDir::Files).isEmpty());
}

// On a volume other than the home's, a trash folder counts only where the desktop's trash rules
// make it the user's own: a shared ".Trash" needs the sticky bit, and the user's folders must be
// theirs, mode 0700 and no link. Otherwise the next choice is taken, and without one the photo
// is removed for good (its bytes stay in memory for the restore) rather than handed to a folder
// another user can read.
TEST(VolumeTrash, AFolderAnotherUserCanReachIsNeverUsed)
{
    const TrashSetup setups[] = {
        {"SharedTrash", "other:1777", "me:0700", "", "", ".Trash/<uid>"},
        {"SharedTrashMadeNow", "other:1777", "", "", "", ".Trash/<uid>"},
        {"SharedTrashWithoutStickyBit", "other:0777", "", "", "", ".Trash-<uid>"},
        {"UserFolderOfAnotherUser", "other:1777", "other:0777", "", "", ".Trash-<uid>"},
        {"UserFolderOpenToOthers", "other:1777", "me:0755", "", "", ".Trash-<uid>"},
        {"UserFolderALink", "other:1777", "link", "", "", ".Trash-<uid>"},
        {"FilesOfAnotherUser", "other:1777", "me:0700", "other:0777", "", ".Trash-<uid>"},
        {"OwnTrash", "", "", "", "me:0700", ".Trash-<uid>"},
        {"OwnTrashOfAnotherUser", "", "", "", "other:0700", ""},
        {"OwnTrashOpenToOthers", "", "", "", "me:0777", ""},
    };
    for (const TrashSetup& setup : setups) {
        SCOPED_TRACE(setup.name);
        QTemporaryDir home, dir;
        const test::ScopedEnv fakeHome("HOME", home.path().toUtf8());
        const QString card = dir.filePath(QStringLiteral("Karte"));
        ASSERT_TRUE(QDir().mkpath(card));
        const test::SmallVolume volume(card, QStringLiteral("4m"));
        LUMORA_REQUIRE(volume.mounted() && ::geteuid() == 0, "a card of its own and folders of another user need root");
        const QString uid = QString::number(::getuid());
        const QString shared = card + QStringLiteral("/.Trash");
        const QString mine = shared + QLatin1Char('/') + uid;
        const QString own = card + QStringLiteral("/.Trash-") + uid;
        const QString linked = card + QStringLiteral("/woanders");
        const bool link = QLatin1String(setup.mine) == QLatin1String("link");
        ASSERT_TRUE(makeFolder(shared, QLatin1String(setup.shared)));
        ASSERT_TRUE(makeFolder(link ? linked : mine, QLatin1String(link ? "me:0700" : setup.mine)));
        ASSERT_TRUE(!link || QFile::link(linked, mine));
        ASSERT_TRUE(makeFolder(mine + QStringLiteral("/files"), QLatin1String(setup.mineFiles)));
        ASSERT_TRUE(makeFolder(own, QLatin1String(setup.own)));

        const QByteArray bytes = test::jpegOf(Qt::darkGreen);
        ImageProcessor processor;
        processor.setPhotos({test::photoAt(test::writePhotoFile(card, QStringLiteral("privat.jpg"), bytes))});
        EXPECT_EQ(ended(deleteFiles(processor, test::photoIds(processor), std::make_shared<CancelToken>())->wait()),
                  "1/1");
        EXPECT_FALSE(QFile::exists(card + QStringLiteral("/privat.jpg")));

        const QString expected = QString::fromLatin1(setup.expected).replace(QStringLiteral("<uid>"), uid);
        for (const QString& trash : {mine, own, linked}) {
            const bool chosen = !expected.isEmpty() && trash == card + QLatin1Char('/') + expected;
            EXPECT_EQ(readAll(trash + QStringLiteral("/files/privat.jpg")), chosen ? bytes : QByteArray())
                << trash.toStdString();
        }
        EXPECT_EQ(restoreLastDeletion(processor).restored, 1);
        EXPECT_EQ(readAll(card + QStringLiteral("/privat.jpg")), bytes);
    }
}
