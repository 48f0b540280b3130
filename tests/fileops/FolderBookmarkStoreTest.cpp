#include "fileops/FolderBookmarkStore.h"
#include "support/ScriptedDialogs.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

const QString kKey = QString::fromLatin1(FolderBookmarkStore::kSettingsKey);

/// A photo folder and a settings file of its own, in a throw-away place.
struct BookmarkFixture : ::testing::Test {
    QTemporaryDir root;
    QString photos = root.filePath(QStringLiteral("Fotos"));
    QString settingsFile = root.filePath(QStringLiteral("settings.ini"));
    test::ScriptedDialogs dialogs;
    FolderBookmarkStore store{dialogs, settingsFile};

    void SetUp() override
    {
        ASSERT_TRUE(root.isValid());
        ASSERT_TRUE(QDir().mkpath(photos));
    }

    QVariant persisted() const { return QSettings(settingsFile, QSettings::IniFormat).value(kKey); }
};

} // namespace

TEST_F(BookmarkFixture, FirstRequestAsksOnlyForThatFolderIsRememberedAcrossRestartsAndLostWithTheFolder)
{
    dialogs.confirmFolder(photos);
    const auto token = store.requestAccess(photos + QStringLiteral("/./"));
    ASSERT_TRUE(token);
    EXPECT_TRUE(token->aktiv);
    EXPECT_EQ(token->url, QUrl::fromLocalFile(photos));

    ASSERT_EQ(dialogs.folderRequests.size(), 1);
    const FolderPanelRequest& panel = dialogs.folderRequests.first();
    EXPECT_EQ(panel.startFolder, photos + QStringLiteral("/./"));
    EXPECT_EQ(panel.onlyAllowedFolder, photos);
    EXPECT_FALSE(panel.canCreateFolders);

    const QVariantMap stored = persisted().toMap();
    ASSERT_EQ(stored.size(), 1);
    EXPECT_EQ(stored.value(photos).toByteArray(), QFileInfo(photos).canonicalFilePath().toUtf8());

    // Asked once only: again, and as after a restart (a second store reads the same settings).
    ASSERT_TRUE(store.requestAccess(photos));
    FolderBookmarkStore restarted(dialogs, settingsFile);
    const auto again = restarted.requestAccess(photos);
    ASSERT_TRUE(again);
    EXPECT_TRUE(again->aktiv);
    EXPECT_EQ(dialogs.folderRequests.size(), 1);
    EXPECT_EQ(restarted.bookmarks().keys(), QStringList{photos});

    // A folder that vanished is asked for again; cancelled, it is neither granted nor remembered.
    ASSERT_TRUE(QDir(photos).removeRecursively());
    EXPECT_FALSE(store.requestAccess(photos));
    EXPECT_EQ(dialogs.folderRequests.size(), 2);
    EXPECT_TRUE(store.bookmarks().isEmpty());
    EXPECT_TRUE(persisted().toMap().isEmpty());
}

// Cancelled, or a folder gone by the time the panel returns: nothing granted or stored. Another
// folder chosen is granted and stored under its own path.
TEST_F(BookmarkFixture, ThePanelsAnswerDecidesWhatIsGrantedAndStored)
{
    dialogs.cancelFolder();
    EXPECT_FALSE(store.requestAccess(photos));
    dialogs.confirmFolder(root.filePath(QStringLiteral("gibt-es-nicht")));
    EXPECT_FALSE(store.requestAccess(photos));
    EXPECT_FALSE(persisted().isValid());

    const QString other = root.filePath(QStringLiteral("Anderswo"));
    ASSERT_TRUE(QDir().mkpath(other));
    dialogs.confirmFolder(other);
    const auto token = store.requestAccess(photos);
    ASSERT_TRUE(token);
    EXPECT_EQ(token->url, QUrl::fromLocalFile(other));
    EXPECT_EQ(store.bookmarks().keys(), QStringList{other});
}

TEST_F(BookmarkFixture, StoredValueOfTheWrongShapeIsIgnoredAndReplaced)
{
    const QList<QVariant> malformed = {
        QVariant(QStringLiteral("kaputt")),
        QVariant(QVariantMap{{photos, QVariant(QStringLiteral("kein Bookmark"))}}),
        QVariant(QVariantMap{{photos, QVariant(photos.toUtf8())}, {QStringLiteral("/x"), QVariant(42)}}),
    };
    for (const QVariant& value : malformed) {
        QSettings(settingsFile, QSettings::IniFormat).setValue(kKey, value);
        test::ScriptedDialogs fresh;
        FolderBookmarkStore reading(fresh, settingsFile);
        EXPECT_TRUE(reading.bookmarks().isEmpty());
        fresh.confirmFolder(photos);
        EXPECT_TRUE(reading.requestAccess(photos));
        EXPECT_EQ(fresh.folderRequests.size(), 1);
        const QVariant replaced = persisted();
        EXPECT_EQ(replaced.typeId(), QMetaType::QVariantMap);
        EXPECT_EQ(replaced.toMap().keys(), QStringList{photos});
    }
}
