#include "FileopsTestSupport.h"
#include "fileops/DeleteRestore.h"
#include "fileops/SaveExport.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"
#include "support/ScopedEnv.h"
#include "support/SmallVolume.h"

#include "support/Requirements.h"
#include <QDir>
#include <functional>
#include <gtest/gtest.h>
#include <optional>

// Every write path fails with a German sentence that names the file and says why: a read-only
// card, a full card (a small tmpfs) and a folder where the file should go. An original that is
// still there is never lost or cut short, and no temporary file is left behind.

using namespace lumora;

namespace {

enum class Fault { readOnly, full, folderInTheWay };

struct FaultCase {
    const char* name;
    Fault fault;
    const char* reason; ///< what the message must say
    friend void PrintTo(const FaultCase& fault, std::ostream* out) { *out << fault.name; }
};

class WriteFaults : public ::testing::TestWithParam<FaultCase>, protected test::CropSetup {
protected:
    QTemporaryDir dir;
    QString card;
    QByteArray original; ///< the bytes of card/foto.jpg
    std::optional<test::SmallVolume> volume;

    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid() && settingsDir.isValid());
        card = dir.filePath(QStringLiteral("Karte"));
        ASSERT_TRUE(QDir().mkpath(card));
        if (GetParam().fault != Fault::folderInTheWay) {
            volume.emplace(card, QStringLiteral("2m"));
            LUMORA_REQUIRE(volume->mounted(), "mounting a tmpfs needs root");
        }
        original = test::jpegOf(Qt::darkCyan, 320, 240);
        processor.setPhotos({test::photoAt(test::writePhotoFile(card, QStringLiteral("foto.jpg"), original))});
    }

    void TearDown() override
    {
        processor.setPhotos({});
        volume.reset();
    }

    /// Brings the fault about; a folder takes the place of `target` (a name in the card).
    void breakCard(const QString& target)
    {
        switch (GetParam().fault) {
        case Fault::readOnly: ASSERT_TRUE(volume->remountReadOnly()); break;
        case Fault::full: volume->fill(); break;
        case Fault::folderInTheWay:
            QFile::remove(card + QLatin1Char('/') + target);
            ASSERT_TRUE(QDir(card).mkdir(target));
            break;
        }
    }

    void expectExplained(const QString& message, const QString& file) const
    {
        EXPECT_TRUE(message.contains(QStringLiteral("„") + file + QStringLiteral("“"))) << message.toStdString();
        EXPECT_TRUE(message.contains(QString::fromUtf8(GetParam().reason))) << message.toStdString();
        for (const char* english : {"rror", "denied", "space", "file", "directory", "Read-only", "CGImage"})
            EXPECT_FALSE(message.contains(QLatin1String(english))) << message.toStdString();
    }

    QUuid photoId() const { return processor.photos().first().id; }

    /// The files on the card but the one that fills it.
    QStringList filesOnCard() const
    {
        QStringList files = QDir(card).entryList(QDir::Files | QDir::Hidden, QDir::Name);
        files.removeOne(QStringLiteral("fueller"));
        return files;
    }

    /// The original is still there byte for byte (unless a folder took its place), and beside
    /// it no other file.
    void expectOriginalKept() const
    {
        if (QFileInfo(card + QStringLiteral("/foto.jpg")).isDir()) {
            EXPECT_EQ(filesOnCard(), QStringList());
            return;
        }
        EXPECT_EQ(filesOnCard(), QStringList{QStringLiteral("foto.jpg")});
        EXPECT_EQ(test::readAll(card + QStringLiteral("/foto.jpg")), original);
    }
};

} // namespace

// Saving over the original, a PNG export and a JPEG export (written while it encodes): each
// stops with the reason, and no part of a file stays behind.
TEST_P(WriteFaults, SaveNumberedExportsAndBatchCrop)
{
    using Run = std::function<StreamEnd()>;
    const std::pair<const char*, Run> runs[] = {
        {"1_foto.png",
         [&] { return exportPNG(processor.photos(), std::make_shared<CancelToken>(), 1, card, 1)->wait(); }},
        {"1_foto.jpg",
         [&] { return exportJPEG(processor.photos(), std::make_shared<CancelToken>(), 1, card, 1)->wait(); }},
        {"foto.jpg", [&] { return saveOverOriginals(processor, std::make_shared<CancelToken>())->wait(); }},
    };
    const bool folder = GetParam().fault == Fault::folderInTheWay;
    if (!folder)
        breakCard({});
    for (const auto& [target, run] : runs) { // the original last, so the exports can show it kept
        SCOPED_TRACE(target);
        if (folder)
            breakCard(QLatin1String(target));
        const StreamEnd end = run();
        ASSERT_TRUE(end.error);
        expectExplained(end.error->description, QLatin1String(target));
        expectOriginalKept();
    }

    // A batch crop over the original, and as a copy beside it: a read-only folder cannot even be
    // granted, a folder in the original's place leaves the copy's name free.
    dialogs.confirmFolder(card);
    for (const bool overwrite : {true, false}) {
        SCOPED_TRACE(overwrite ? "overwrite" : "copy");
        const std::optional<BatchCropResult> result = crop({photoId()}, {0, 0, 0.5, 0.5}, overwrite);
        if (!overwrite && GetParam().fault == Fault::folderInTheWay) {
            EXPECT_EQ(result->erfolgreich, 1);
            ASSERT_TRUE(QFile::remove(card + QStringLiteral("/foto-neu.jpg")));
            continue;
        }
        EXPECT_EQ(result->erfolgreich, 0);
        EXPECT_FALSE(result->speicherOrdner);
        ASSERT_EQ(result->fehler.size(), 1);
        if (!overwrite && GetParam().fault == Fault::readOnly) {
            EXPECT_EQ(result->fehler.first(), QStringLiteral("foto.jpg: Ordner-Zugriff verweigert"));
            continue;
        }
        EXPECT_TRUE(result->fehler.first().startsWith(QStringLiteral("foto.jpg: ")));
        expectExplained(result->fehler.first(), QString::fromLatin1(overwrite ? "foto.jpg" : "foto-neu.jpg"));
    }
    expectOriginalKept();
    EXPECT_EQ(processor.photo(photoId())->originalCI.size(), QSize(320, 240)); // not replaced
}

TEST_P(WriteFaults, RestoreOfADeletedPhoto)
{
    {
        QTemporaryDir home;
        const test::ScopedEnv fakeHome("HOME", home.path().toUtf8());
        (void)deleteFiles(processor, {photoId()}, std::make_shared<CancelToken>())->wait();
    }
    // The card's trash was emptied: the photo has to be written from the kept bytes.
    QDir(card + QStringLiteral("/.Trash-") + QString::number(::getuid())).removeRecursively();
    breakCard(QStringLiteral("foto.jpg"));

    const RestoreResult result = restoreLastDeletion(processor);
    EXPECT_EQ(result.restored, 0);
    ASSERT_EQ(result.failures.size(), 1);
    EXPECT_TRUE(result.failures.first().startsWith(QStringLiteral("„foto.jpg“ konnte nicht geschrieben werden: ")));
    expectExplained(result.failures.first(), QStringLiteral("foto.jpg"));
    EXPECT_EQ(filesOnCard(), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    German, WriteFaults,
    ::testing::Values(FaultCase{"ReadOnlyCard", Fault::readOnly, "Keine Schreibrechte für"},
                      FaultCase{"FullCard", Fault::full, "Nicht genug Speicherplatz auf dem Ziel-Datenträger."},
                      FaultCase{"FolderInTheWay", Fault::folderInTheWay, "liegt ein Ordner gleichen Namens"}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });
