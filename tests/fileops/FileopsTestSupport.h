#pragma once

#include "base/Progress.h"
#include "fileops/BatchCrop.h"
#include "fileops/FolderBookmarkStore.h"
#include "model/ImageProcessor.h"
#include "support/ScriptedDialogs.h"

#include <QEventLoop>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

namespace lumora::test {

/// How a stream ended, in one comparable line: "3/4" (done/total), with "cancelled " or
/// "error: <description> " before it.
inline std::string ended(const StreamEnd& end)
{
    std::string text = end.error ? "error: " + end.error->description.toStdString() + " " : std::string();
    if (end.cancelled)
        text += "cancelled ";
    return text + std::to_string(end.done) + "/" + std::to_string(end.total);
}

/// A processor and a folder store whose panels a script answers, with settings of its own.
struct CropSetup {
    QTemporaryDir settingsDir;
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    FolderBookmarkStore folders{dialogs, settingsDir.filePath(QStringLiteral("settings.ini"))};

    /// Runs a batch crop and waits, with the event loop running, until it is done; `beforeResult`
    /// runs in the completion, before the result is taken.
    BatchCropResult crop(const QSet<QUuid>& ids, QRectF rect, bool overwrite, ProgressStreamPtr progress = nullptr,
                         const std::function<void()>& beforeResult = {})
    {
        std::optional<BatchCropResult> result;
        QEventLoop loop;
        const auto done = [&](BatchCropResult r) {
            if (beforeResult)
                beforeResult();
            result = std::move(r);
            loop.quit();
        };
        batchCrop(processor, ids, rect, overwrite, folders, done, std::move(progress));
        if (!result)
            loop.exec();
        EXPECT_TRUE(result.has_value());
        return result.value_or(BatchCropResult{});
    }
};

} // namespace lumora::test
