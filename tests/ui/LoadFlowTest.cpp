#include "AppSupport.h"
#include "app/PanelTexts.h"
#include "support/DngFile.h"

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

// Opening files of a card remembers its DCIM folder and loads them without a question; a
// cancelled panel changes nothing; with photos loaded the question's three buttons cancel,
// append or replace.
TEST_F(LoadFlowTest, OpeningCardFilesThenTheThreeButtonsOfFotosLaden)
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
    EXPECT_EQ(LoadFlow::volumePathFor(QStringLiteral("/foto.jpg")), QStringLiteral("/"));

    flow.open(); // the panel cancelled
    EXPECT_EQ(dialogs.fileRequests.size(), 2);
    EXPECT_TRUE(dialogs.questions.isEmpty());
    EXPECT_EQ(order(processor), (QStringList{"IMG_0001", "IMG_0002"}));

    const QString more = writePhotoFile(dir.path(), QStringLiteral("neu.jpg"), jpegOf(Qt::green)).toLocalFile();
    dialogs.chooseFilesWith({more});
    dialogs.answer(QStringLiteral("Abbrechen"));
    flow.open();
    ASSERT_EQ(dialogs.questions.size(), 1);
    EXPECT_TRUE(flow.pendingLoadURLs().isEmpty());
    EXPECT_FALSE(processor.isBusy());
    EXPECT_EQ(order(processor), (QStringList{"IMG_0001", "IMG_0002"}));

    dialogs.chooseFilesWith({more});
    dialogs.answer(QStringLiteral("Fotos hinzufügen"));
    flow.open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return processor.photos().size() == 3; }, kNoTimeLimit));
    EXPECT_EQ(order(processor), (QStringList{"IMG_0001", "IMG_0002", "neu"}));

    dialogs.chooseFilesWith({b.toLocalFile()});
    dialogs.answer(QStringLiteral("Alte Fotos entfernen und neu laden"));
    flow.open();
    EXPECT_TRUE(processor.photos().isEmpty()); // emptied at once
    ASSERT_TRUE(QTest::qWaitFor([&] { return processor.photos().size() == 1; }, kNoTimeLimit));
    EXPECT_EQ(order(processor), QStringList{"IMG_0002"});
    ASSERT_TRUE(waitIdle(processor));
}

TEST_F(LoadFlowTest, CameraRawFilesAreOfferedLoadedAndTheirSensorShown)
{
    const QUrl nef = writePhotoFile(dir.path(), QStringLiteral("DSC_0001.NEF"), makeDng(photoLike(64, 48)));
    const QUrl jpeg = writePhotoFile(dir.path(), QStringLiteral("b.jpg"), jpegOf(Qt::red));
    LoadFlow flow(processor, dialogs, placesWith({}));
    dialogs.chooseFilesWith({nef.toLocalFile(), jpeg.toLocalFile()});
    flow.open();
    ASSERT_EQ(dialogs.fileRequests.size(), 1);
    // The panel's filter lets every kind of photo through, in either case.
    const QString filter = dialogs.fileRequests[0].nameFilters.value(0);
    const QString patterns = filter.section(QLatin1Char('('), 1).chopped(1);
    EXPECT_TRUE(filter.startsWith(QStringLiteral("Bilder (")));
    for (const char* name : {"DSC_0001.NEF", "dsc_0002.dng", "IMG_1.CR3", "a.arw", "B.RAF", "c.orf", "d.RW2", "e.PEF",
                             "scan.bmp", "logo.GIF", "f.heic", "g.jpg"})
        EXPECT_TRUE(QDir::match(patterns.split(QLatin1Char(' ')), QString::fromLatin1(name))) << name;
    EXPECT_FALSE(QDir::match(patterns.split(QLatin1Char(' ')), QStringLiteral("bild.svg")));

    ASSERT_TRUE(QTest::qWaitFor([&] { return processor.photos().size() == 2 && !processor.isBusy(); }, kNoTimeLimit));
    const PhotoItem& raw = processor.photos()[0];
    EXPECT_TRUE(raw.cameraRawFile);
    const auto rows = panelTexts::fileInfoRows(raw);
    ASSERT_EQ(rows.size(), 5);
    EXPECT_EQ(rows[4], (std::pair<QString, QString>{QStringLiteral("Sensor"), QStringLiteral("64 × 48 px")}));
    EXPECT_EQ(panelTexts::fileInfoRows(processor.photos()[1]).size(), 4); // a JPEG has no sensor
}
