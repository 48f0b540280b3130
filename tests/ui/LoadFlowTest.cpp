#include "AppSupport.h"

using namespace lumora;
using namespace lumora::test;

namespace {

/// Places of which only `present` exist.
LoadPlaces placesWith(QStringList present)
{
    LoadPlaces places;
    places.removableRoots = {QStringLiteral("/run/media/anna"), QStringLiteral("/media/anna"),
                             QStringLiteral("/media")};
    places.desktopFolders = {QStringLiteral("/home/anna/Schreibtisch")};
    places.exists = [present](const QString& path) { return present.contains(path); };
    return places;
}

} // namespace

struct LoadFlowTest : ::testing::Test {
    void SetUp() override { forgetWindowPreferences(); }
    void TearDown() override { forgetWindowPreferences(); }
    ScriptedDialogs dialogs;
    ImageProcessor processor;
    QTemporaryDir dir;
};

TEST_F(LoadFlowTest, StartFolderRule)
{
    const auto startIn = [&](const LoadPlaces& places) { return LoadFlow(processor, dialogs, places).startFolder(); };
    EXPECT_EQ(startIn(placesWith({"/media", "/media/anna", "/run/media/anna"})), QStringLiteral("/run/media/anna"));
    EXPECT_EQ(startIn(placesWith({"/media", "/media/anna"})), QStringLiteral("/media/anna"));
    EXPECT_EQ(startIn(placesWith({"/media"})), QStringLiteral("/media"));
    EXPECT_EQ(startIn(placesWith({})), QStringLiteral("/home/anna/Schreibtisch"));
    EXPECT_EQ(startIn(noPlaces()), QString());

    // A stored path counts only while something is there; it stays stored either way.
    preferences::setValue(QStringLiteral("LastUsedVolumePath"), QStringLiteral("/run/media/anna/CARD/DCIM"));
    EXPECT_EQ(startIn(placesWith({"/media"})), QStringLiteral("/media"));
    EXPECT_EQ(startIn(placesWith({"/media", "/run/media/anna/CARD/DCIM"})),
              QStringLiteral("/run/media/anna/CARD/DCIM"));
    EXPECT_TRUE(preferences::contains(QStringLiteral("LastUsedVolumePath")));
}

TEST_F(LoadFlowTest, OpeningACardFileRemembersTheDcimFolderAndLoadsWithoutAQuestion)
{
    const QString folder = dir.path() + QStringLiteral("/CARD/DCIM/100CANON");
    QDir().mkpath(folder);
    const QUrl a = writePhotoFile(folder, QStringLiteral("IMG_0001.JPG"), jpegOf(Qt::red));
    const QUrl b = writePhotoFile(folder, QStringLiteral("IMG_0002.JPG"), jpegOf(Qt::blue));
    LoadFlow flow(processor, dialogs, placesWith({QStringLiteral("/media")}));
    dialogs.chooseFilesWith({a.toLocalFile(), b.toLocalFile()});
    flow.open();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    EXPECT_EQ(dialogs.fileRequests[0].startFolder, QStringLiteral("/media"));
    EXPECT_TRUE(dialogs.fileRequests[0].multipleSelection);
    EXPECT_EQ(preferences::value(QStringLiteral("LastUsedVolumePath")).toString(),
              dir.path() + QStringLiteral("/CARD/DCIM"));
    EXPECT_TRUE(dialogs.questions.isEmpty()); // nothing loaded yet: no question
    ASSERT_TRUE(waitIdle(processor));
    ASSERT_TRUE(QTest::qWaitFor([&] { return processor.photos().size() == 2; }, kNoTimeLimit));
    EXPECT_TRUE(flow.pendingLoadURLs().isEmpty());

    // Cancelling the panel changes nothing.
    flow.open();
    EXPECT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(LoadFlow::volumePathFor(QStringLiteral("/foto.jpg")), QStringLiteral("/"));
}

TEST_F(LoadFlowTest, TheThreeButtonsOfFotosLaden)
{
    const QList<QUrl> first = writePhotos(dir, 2);
    ASSERT_TRUE(loadAndWait(processor, first));
    const QList<QUrl> more = {writePhotoFile(dir.path(), QStringLiteral("neu.jpg"), jpegOf(Qt::green))};
    LoadFlow flow(processor, dialogs, noPlaces());

    dialogs.chooseFilesWith({more[0].toLocalFile()});
    dialogs.answer(QStringLiteral("Abbrechen"));
    flow.open();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(flow.pendingLoadURLs().isEmpty());
    EXPECT_FALSE(processor.isBusy());
    EXPECT_EQ(order(processor), (QStringList{"1", "2"}));

    dialogs.chooseFilesWith({more[0].toLocalFile()});
    dialogs.answer(QStringLiteral("Fotos hinzufügen"));
    flow.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return processor.photos().size() == 3; }, kNoTimeLimit));
    EXPECT_EQ(order(processor), (QStringList{"1", "2", "neu"}));

    dialogs.chooseFilesWith({first[1].toLocalFile()});
    dialogs.answer(QStringLiteral("Alte Fotos entfernen und neu laden"));
    flow.open();
    EXPECT_TRUE(processor.photos().isEmpty()); // emptied at once
    ASSERT_TRUE(QTest::qWaitFor([&] { return processor.photos().size() == 1; }, kNoTimeLimit));
    EXPECT_EQ(order(processor), QStringList{"2"});
    ASSERT_TRUE(waitIdle(processor));
}
