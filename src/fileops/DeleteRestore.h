#pragma once

#include "base/Progress.h"

#include <QSet>
#include <QStringList>
#include <QUuid>
#include <memory>

namespace lumora {

class ImageProcessor;

// Taking photos out of the list, deleting their files, and bringing the latest group back.
// Each removal pushes one group onto the processor's deleteUndoStack; a restore pops it.
// All functions are called on the UI thread.

/// Takes the photos with these ids out of the list, leaving their files alone, and pushes
/// one group of them (list order, no bytes). Unknown ids are ignored; when none is found,
/// nothing changes and nothing is pushed.
void removeFromOverview(ImageProcessor& processor, const QSet<QUuid>& ids);

/// Deletes the files of the photos with these ids.
///
/// Before the stream is returned, on the calling thread: every file is read whole into
/// memory (list order), the photos leave the list, and one group of the items whose file
/// could be read is pushed (none when no file could be read). Then a background task moves
/// the files, one after another, to the desktop trash; a file no trash can take is removed
/// for good. Failures to remove are ignored. The token is read before each file; progress is
/// (i + 1) / n after each. The stream never ends with an error: a cancelled run ends marked
/// cancelled, with `done` the number of files handled before it stopped, and the remaining
/// files stay where they are (their photos are out of the list, their bytes on the stack).
/// When no photo matched, the stream ends at once without a value.
[[nodiscard]] ProgressStreamPtr deleteFiles(ImageProcessor& processor, const QSet<QUuid>& ids,
                                            std::shared_ptr<CancelToken> token);

/// What a restore brought back.
struct RestoreResult {
    int restored = 0;     ///< photos put back into the list
    int total = 0;        ///< photos of the group
    QStringList failures; ///< for each photo that stayed out, a sentence naming its file and why

    friend bool operator==(const RestoreResult&, const RestoreResult&) = default;
};

/// Pops the last group and puts its photos back at the front of the list, the group's last
/// item first (list A B C D E, group B D → D B A C E). A deleted file is taken back out of the
/// trash where it is still there (its trash information removed); where the file at its place
/// still holds the kept bytes (its deletion failed or was cancelled) nothing is written;
/// otherwise it is rewritten from the kept bytes, atomically, replacing whatever is at its
/// place. When its folder is gone or the write fails, that photo stays out, with its reason in
/// the result. Photos only removed from the overview come back without touching the disk.
/// Restored photos are the stored values, nothing is re-rendered. Synchronous; an empty stack
/// gives an empty result.
RestoreResult restoreLastDeletion(ImageProcessor& processor);

/// The message after a restore: "Bilder wurden wiederhergestellt." when every photo came
/// back, else how many of how many did, and the sentence of each that did not.
[[nodiscard]] QString restoreMessage(const RestoreResult& result);

/// Whether the last group has at least one photo whose folder exists right now.
[[nodiscard]] bool canRestore(const ImageProcessor& processor);

} // namespace lumora
