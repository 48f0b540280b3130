#include "base/UiThread.h"
#include "fileops/DeleteRestore.h"
#include "fileops/SaveExport.h"
#include "model/ImageProcessor.h"
#include "support/PhotoFiles.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

using namespace lumora;
using namespace lumora::test;

// A window (and with it the processor) may close while results of every kind of background
// work are still queued for the UI thread: none of them may reach the destroyed objects.
TEST(QueuedResults, ClosingWhileLoadRefreshBatchExportAndDeleteResultsAreQueued)
{
    QTemporaryDir dir;
    const QList<QUrl> urls = writePhotos(dir, 3);

    // A load whose decodes are done but whose append is still queued.
    auto loading = std::make_unique<ImageProcessor>();
    loading->loadPhotos(urls);
    workPool().waitForDone();
    loading.reset();
    drainPosted();

    auto processor = std::make_unique<ImageProcessor>();
    ASSERT_TRUE(loadAndWait(*processor, urls));
    const QSet<QUuid> ids = photoIds(*processor);

    // A rotate batch and a preview refresh, both rendered, not yet applied.
    processor->rotate(ids, RotationDirection::left);
    QList<PhotoItem> edited = processor->photos();
    edited[0].edits.adjustment.exposure = 1;
    processor->setPhotos(edited);
    processor->refreshPreviews();

    // An export and a deletion whose progress is queued for a receiver that goes too.
    auto receiver = std::make_unique<QObject>();
    int delivered = 0;
    const QTemporaryDir target;
    ProgressStreamPtr exported = exportJPEG(processor->photos(), std::make_shared<CancelToken>(), 1, target.path(), 3);
    ProgressStreamPtr deleted = deleteFiles(*processor, {processor->photos()[2].id}, std::make_shared<CancelToken>());
    for (const ProgressStreamPtr& stream : {exported, deleted})
        stream->subscribe(
            receiver.get(), [&](double) { ++delivered; }, [&](const StreamEnd&) { ++delivered; });
    workPool().waitForDone();
    for (const ProgressStreamPtr& stream : {exported, deleted})
        EXPECT_FALSE(stream->wait().error);
    processor.reset();
    receiver.reset();
    drainPosted();
    EXPECT_EQ(delivered, 0);
}
