#include "base/AtomicFile.h"
#include "base/RegularFile.h"
#include "support/PhotoFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace lumora;
using lumora::test::readAll;
using lumora::test::writeAll;

namespace {

/// The names in `folder` that are temporary files of a write.
QStringList temporaries(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".lumora-*")}, QDir::Files | QDir::Hidden | QDir::System);
}

} // namespace

TEST(AtomicFile, AWriteLeavesOnlyItsFileAndKeepsOrReplacesAsAsked)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("foto.jpg"));
    ASSERT_TRUE(writeFileAtomically(path, "eins"));
    ASSERT_TRUE(writeFileAtomically(path, "zwei"));
    EXPECT_EQ(readAll(path), QByteArray("zwei"));

    const auto kept = writeFileAtomically(path, "drei", WriteRules{LinkAtTarget::replace, ExistingFile::keep, {}});
    ASSERT_FALSE(kept);
    EXPECT_EQ(kept.error().description, QStringLiteral("„foto.jpg“ konnte nicht geschrieben werden: Eine Datei "
                                                       "dieses Namens existiert bereits."));
    EXPECT_EQ(readAll(path), QByteArray("zwei"));

    // A replaced file keeps its permissions; in a folder that cannot be written the old file stays.
    ASSERT_TRUE(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
    ASSERT_TRUE(writeFileAtomically(path, "fünf"));
    struct stat status {};
    ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    const auto readOnly = writeFileAtomically(path, "sechs");
    QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    if (::geteuid() != 0) { // root writes anywhere
        EXPECT_FALSE(readOnly);
        EXPECT_EQ(readAll(path), QByteArray("fünf"));
    }

    // A camera-sized file reads back exactly (large files are read into huge pages).
    QByteArray large(9 * 1024 * 1024 + 7, Qt::Uninitialized);
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char((i * 2654435761u) >> 13);
    ASSERT_TRUE(writeFileAtomically(path, large));
    EXPECT_EQ(readRegularFile(path).value_or(QByteArray()), large);
}

// A process killed at any moment of its writes leaves the target whole (old or new bytes) and,
// once the next write into that folder is done, no temporary file of a writer that is gone.
TEST(AtomicFile, KilledWritersLeaveNoTemporaryBehind)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("foto.jpg"));
    const QByteArray older(4 << 20, 'a'), newer(4 << 20, 'b');
    ASSERT_TRUE(writeFileAtomically(path, older));
    for (int trial = 0; trial < 26; ++trial) {
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::close(ready[0]);
            for (int i = 0;; ++i) {
                if (i == trial % 3)
                    (void)!::write(ready[1], "x", 1); // from here on it may be killed at any point
                (void)writeFileAtomically(path, i % 2 ? older : newer);
            }
        }
        ::close(ready[1]);
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::close(ready[0]);
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        const QByteArray now = readAll(path);
        EXPECT_TRUE(now == older || now == newer) << "trial " << trial << ": " << now.size() << " bytes";
        ASSERT_TRUE(writeFileAtomically(dir.filePath(QStringLiteral("anderes.jpg")), "x"));
        EXPECT_EQ(temporaries(dir.path()), QStringList()) << "trial " << trial;
    }

    // On file systems without unnamed files a killed writer leaves a locked-then-abandoned
    // temporary: the next write removes it, but never one whose writer still holds it.
    const QString stale = dir.filePath(QStringLiteral(".lumora-0123456789abcdef.tmp"));
    const QString busy = dir.filePath(QStringLiteral(".lumora-fedcba9876543210.tmp"));
    ASSERT_TRUE(writeAll(stale, "halb") && writeAll(busy, "in Arbeit")
                && writeAll(dir.filePath(QStringLiteral(".lumora-notes.txt")), "fremd"));
    const int holder = ::open(QFile::encodeName(busy).constData(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0); // as its writer holds it
    ASSERT_TRUE(writeFileAtomically(path, "ganz"));
    EXPECT_EQ(temporaries(dir.path()),
              (QStringList{QStringLiteral(".lumora-fedcba9876543210.tmp"), QStringLiteral(".lumora-notes.txt")}));
    EXPECT_EQ(readAll(busy), QByteArray("in Arbeit"));
    ::close(holder); // its writer is gone now
    ASSERT_TRUE(writeFileAtomically(path, "wieder"));
    EXPECT_EQ(temporaries(dir.path()), QStringList{QStringLiteral(".lumora-notes.txt")});
}

// The place a file was loaded from is where it is written: a link or a folder swapped in under
// its path since is refused with a German reason, and the file it leads to is left alone.
TEST(AtomicFile, WritesGoOnlyWhereTheFileWasLoadedFrom)
{
    QTemporaryDir dir;
    const QString card = dir.filePath(QStringLiteral("Karte"));
    const QString elsewhere = dir.filePath(QStringLiteral("anderswo"));
    ASSERT_TRUE(QDir().mkpath(card) && QDir().mkpath(elsewhere));
    const QString photo = card + QStringLiteral("/foto.jpg");
    ASSERT_TRUE(writeAll(photo, "original") && writeAll(elsewhere + QStringLiteral("/foto.jpg"), "fremd"));
    const FilePlace loaded = placeOf(photo);
    ASSERT_FALSE(loaded.isEmpty());
    const WriteRules onlyThere{LinkAtTarget::follow, ExistingFile::replace, loaded};
    ASSERT_TRUE(writeFileAtomically(photo, "gespeichert", onlyThere));
    ASSERT_TRUE(writeFileAtomically(photo, "noch einmal", onlyThere)); // its own write moves nothing

    const QString reason = QStringLiteral("„foto.jpg“ konnte nicht geschrieben werden: Der Pfad führt inzwischen zu "
                                          "einer anderen Datei als der, die geladen wurde.");
    // The file swapped for a link to another one.
    ASSERT_TRUE(QFile::remove(photo) && QFile::link(elsewhere + QStringLiteral("/foto.jpg"), photo));
    auto written = writeFileAtomically(photo, "neu", onlyThere);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().description, reason);
    // The folder swapped for a link to another folder holding a file of the same name.
    ASSERT_TRUE(QFile::remove(photo) && writeAll(photo, "noch einmal"));
    ASSERT_TRUE(QDir().rename(card, card + QStringLiteral("-alt")) && QFile::link(elsewhere, card));
    written = writeFileAtomically(photo, "neu", onlyThere);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().description, reason);
    EXPECT_EQ(readAll(elsewhere + QStringLiteral("/foto.jpg")), QByteArray("fremd"));
    EXPECT_EQ(readAll(card + QStringLiteral("-alt/foto.jpg")), QByteArray("noch einmal"));
}

// A file written a part at a time takes the target's place only when it is committed: until
// then the old file is there as it was, and a write that is given up or fails leaves nothing.
TEST(AtomicFileWriter, TheTargetChangesOnlyAtTheCommit)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("foto.jpg"));
    ASSERT_TRUE(writeFileAtomically(path, "alt"));
    auto file = AtomicFileWriter::open(path, WriteRules{});
    ASSERT_TRUE(file);
    QByteArray whole;
    for (int part = 0; part < 40; ++part) {
        const QByteArray bytes(part * 4099 + 1, char('a' + part % 26));
        ASSERT_TRUE(file->write(bytes));
        whole += bytes;
    }
    EXPECT_EQ(readAll(path), QByteArray("alt"));
    ASSERT_TRUE(file->commit());
    EXPECT_EQ(readAll(path), whole);

    // Given up: by abort(), or by the writer going without a commit.
    {
        auto dropped = AtomicFileWriter::open(path, WriteRules{});
        ASSERT_TRUE(dropped && dropped->write("halb"));
        dropped->abort();
        EXPECT_FALSE(dropped->commit());
        auto forgotten = AtomicFileWriter::open(dir.filePath(QStringLiteral("neu.jpg")), WriteRules{});
        ASSERT_TRUE(forgotten && forgotten->write("halb"));
    }
    EXPECT_EQ(readAll(path), whole);
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System),
              QStringList{QStringLiteral("foto.jpg")});

    // A name taken between the open and the commit is kept when asked: the commit does not replace it.
    const QString fresh = dir.filePath(QStringLiteral("neu.jpg"));
    auto late = AtomicFileWriter::open(fresh, WriteRules{LinkAtTarget::replace, ExistingFile::keep, {}});
    ASSERT_TRUE(late && late->write("spät"));
    ASSERT_TRUE(writeAll(fresh, "zuerst da"));
    EXPECT_FALSE(late->commit());
    EXPECT_EQ(readAll(fresh), QByteArray("zuerst da"));
    EXPECT_EQ(temporaries(dir.path()), QStringList());

    // A write that fails (a file size limit stands in for a full disk: past it, write() fails
    // with EFBIG) fails the commit with its reason and leaves the old file.
    file = AtomicFileWriter::open(path, WriteRules{});
    ASSERT_TRUE(file && file->write(QByteArray(3000, 'x')));
    const auto previousSignal = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previous{}, limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
    limit = {4096, previous.rlim_max};
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &limit), 0);
    const auto written = file->write(QByteArray(3000, 'y'));
    ::setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousSignal);
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().description, QStringLiteral("„foto.jpg“ konnte nicht geschrieben werden: Die Datei ist "
                                                          "zu groß für den Ziel-Datenträger."));
    const auto committed = file->commit();
    ASSERT_FALSE(committed);
    EXPECT_EQ(committed.error().description, written.error().description);
    EXPECT_EQ(readAll(path), whole);
    EXPECT_EQ(temporaries(dir.path()), QStringList());
}
