// The crop tool over real files: the frame on the canvas, the confirmation, the folder grant,
// the background run and the files it leaves.
#include "app/editor/CropTool.h"

#include "app/editor/EditorController.h"
#include "fileops/FolderBookmarkStore.h"
#include "pipeline/Render.h"
#include "support/PhotoFiles.h"
#include "support/Pixels.h"
#include "support/ScriptedDialogs.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

// 240 × 160 cards fitted into 800 × 600 at scale 10/3: x 0…800, y 33.3…566.7.
const QSizeF kCanvas(800, 600);

/// Photos loaded from files in one folder, and an editor with its crop tool on the first.
struct CropFiles {
    QTemporaryDir dir;
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    std::unique_ptr<FolderBookmarkStore> folders;
    std::unique_ptr<EditorController> editor;
    QList<QUuid> ids;

    bool load(const QStringList& names)
    {
        QList<QUrl> urls;
        for (const QString& name : names)
            urls << writePhotoFile(dir.path(), name, encodeWithVips(quadrants(240, 160), QStringLiteral("jpg")));
        if (!loadAndWait(processor, urls))
            return false;
        for (const PhotoItem& photo : processor.photos())
            ids << photo.id;
        folders = std::make_unique<FolderBookmarkStore>(dialogs, dir.filePath(QStringLiteral("grants.ini")));
        return true;
    }

    void openEditor(int index, QList<QUuid> selection)
    {
        editor = std::make_unique<EditorController>(processor, ids[index], dialogs);
        editor->setSelectedPhotoIDs(std::move(selection));
        editor->setFolderAccess(folders.get());
        editor->setCanvasSize(kCanvas);
        editor->setMode(DrawingMode::crop);
    }

    /// Frames `frame`, applies (as a batch or not), answers the confirmation with `button` and
    /// waits for the run; returns the summary.
    QString crop(QRectF frame, bool batch, const QString& button)
    {
        editor->state().cropRect = frame;
        dialogs.answer(button);
        static_cast<CropTool*>(editor->tool(DrawingMode::crop))->apply(batch);
        const bool ended = QTest::qWaitFor([&] { return !editor->state().isCropping; }, kNoTimeLimit);
        waitIdle(processor);
        return ended && !dialogs.messages.isEmpty() ? dialogs.messages.last().second : QString();
    }

    [[nodiscard]] QString path(const QString& name) const { return dir.filePath(name); }
};

} // namespace

TEST(CropEndToEnd, ThreePhotosAsCopiesThenOneOriginalOverwritten)
{
    CropFiles files;
    ASSERT_TRUE(files.load({QStringLiteral("a.jpg"), QStringLiteral("b.jpg"), QStringLiteral("c.jpg")}));
    files.openEditor(0, files.ids);
    files.dialogs.confirmFolder(files.dir.path());

    // The left half of the image; the frame reaches past the canvas on the left.
    const QString copies = files.crop(QRectF(-30, 0, 430, 600), true, QStringLiteral("Kopie anlegen"));

    EXPECT_EQ(copies, QStringLiteral("3 Fotos zugeschnitten und als Kopie gespeichert.\nSpeicherort: ")
                          + QDir(files.dir.path()).absolutePath());
    // How the copies are written, named and kept out of the list is the batch crop's own test.
    for (const char* name : {"a-neu.jpg", "b-neu.jpg", "c-neu.jpg"}) {
        const QImage copy = decodedFile(files.path(QString::fromLatin1(name)));
        ASSERT_EQ(copy.size(), QSize(120, 160)) << name;
        EXPECT_EQ(quadrantColours(copy), "RRBB") << name; // the card's left half
    }

    // Overwrite the edited photo alone with its top half.
    const QByteArray before[] = {readAll(files.path("a.jpg")), readAll(files.path("b.jpg")),
                                 readAll(files.path("c.jpg"))};
    const QString overwritten = files.crop(QRectF(0, 0, 800, 300), false, QStringLiteral("Original überschreiben"));

    EXPECT_TRUE(overwritten.startsWith(QStringLiteral("1 Foto zugeschnitten und überschrieben.")))
        << overwritten.toStdString();
    EXPECT_NE(readAll(files.path("a.jpg")), before[0]);
    EXPECT_EQ(readAll(files.path("b.jpg")), before[1]);
    EXPECT_EQ(readAll(files.path("c.jpg")), before[2]);
    const QImage written = decodedFile(files.path("a.jpg"));
    ASSERT_EQ(written.size(), QSize(240, 80));
    EXPECT_EQ(quadrantColours(written), "RGRG"); // the top half
    // The editor shows the new image.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !files.editor->previewRenderer().isRendering(); }, kNoTimeLimit));
    QCoreApplication::processEvents();
    const QImage shown = files.editor->canvasImage();
    ASSERT_FALSE(shown.isNull());
    EXPECT_NEAR(double(shown.width()) / shown.height(), 3.0, 0.05);
    EXPECT_FALSE(files.editor->state().cropRect);
}

TEST(CropEndToEnd, TheNormalisedRectangleOfATurnedAndMirroredPhotoCutsWhatIsShown)
{
    CropFiles files;
    ASSERT_TRUE(files.load({QStringLiteral("karte.jpg")}));
    PhotoItem photo = *files.processor.photo(files.ids[0]);
    photo.edits.rotation = 90;
    photo.edits.flippedH = true;
    files.processor.updatePhoto(photo);
    files.openEditor(0, files.ids);
    files.dialogs.confirmFolder(files.dir.path());

    // Shown 160 × 240 in 800 × 600: fitted at 2.5 into x 200…600; the frame is its top-left quarter.
    const QString summary = files.crop(QRectF(200, 0, 200, 300), false, QStringLiteral("Kopie anlegen"));
    ASSERT_TRUE(summary.startsWith(QStringLiteral("1 Foto zugeschnitten"))) << summary.toStdString();

    const QImage copy = decodedFile(files.path("karte-neu.jpg"));
    ASSERT_EQ(copy.size(), QSize(80, 120));
    auto shown = renderImage(photo.originalCI, photo.edits);
    ASSERT_TRUE(shown);
    ASSERT_EQ(shown->raster.size(), QSize(160, 240));
    // Each quarter of the copy has the colour the turned, mirrored photo shows there.
    EXPECT_EQ(quadrantColours(copy), quadrantColours(shown->raster.copy(0, 0, 80, 120)));
}
