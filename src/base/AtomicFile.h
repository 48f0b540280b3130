#pragma once

#include "base/Error.h"
#include "base/FailureText.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <expected>
#include <memory>
#include <optional>

namespace lumora {

/// Where a file lies: its folder (device and inode, which stay the same however the folder is
/// reached or renamed) and its name in it, with every link on the way followed. Empty when the
/// file's folder cannot be found.
struct FilePlace {
    quint64 device = 0;
    quint64 folder = 0;
    QByteArray name;

    [[nodiscard]] bool isEmpty() const { return name.isEmpty(); }
    friend bool operator==(const FilePlace&, const FilePlace&) = default;
};

/// The place of the file `path` names now (links followed; the file itself need not exist).
[[nodiscard]] FilePlace placeOf(const QString& path);

/// What happens to a symbolic link at the target: followed (the photo it names is written), or
/// replaced by the new file while its target is left alone (a folder of numbered exports must
/// never write outside itself through a planted link).
enum class LinkAtTarget { follow, replace };
/// What happens to a file already at the target: replaced, or kept (the write then fails, so a
/// new file never takes the place of one made meanwhile).
enum class ExistingFile { replace, keep };

struct WriteRules {
    LinkAtTarget link = LinkAtTarget::follow;
    ExistingFile existing = ExistingFile::replace;
    /// When not empty, the write lands only here: a target that now lies elsewhere (a link or a
    /// folder swapped in since) is refused.
    FilePlace place;
};

/// Writes `bytes` to `path` atomically: into a new file in the same folder, flushed to the
/// disk, then put in the target's place in one step. Where the file system allows it the new
/// file has no name until it is complete, so a write killed at any point leaves nothing behind;
/// elsewhere it has a hidden name (".lumora-….tmp") and stays locked while it is written, and
/// the next write into that folder removes such files whose writer is gone. A failed write
/// leaves the old file untouched and no file of its own. A file that is replaced keeps its
/// permissions; an existing file without write permission is not replaced, nor is a folder.
/// Names are used as their bytes (see NativePath.h).
/// Fails with fileFailure(FileAction::write, path, …): a German sentence naming the file and
/// the reason. Thread-safe.
[[nodiscard]] std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                                             const WriteRules& rules);
[[nodiscard]] std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                                             LinkAtTarget link = LinkAtTarget::follow);

/// writeFileAtomically a part at a time, for files made as they are written (an encoder's
/// output): the new file is made by open(), filled by write() and put in the target's place by
/// commit(), under the same rules and with the same guarantees; nothing of the file is held in
/// memory. Until commit() the target is untouched; abort(), or the writer going without a
/// commit, removes the new file. Move-only; one thread at a time.
class AtomicFileWriter {
public:
    /// Checks the target as writeFileAtomically does (link, existing file, place) and makes the
    /// new, still empty file in its folder. Fails with the error writeFileAtomically gives.
    [[nodiscard]] static std::expected<AtomicFileWriter, Error> open(const QString& path, const WriteRules& rules);

    AtomicFileWriter(AtomicFileWriter&&) noexcept;
    AtomicFileWriter& operator=(AtomicFileWriter&&) noexcept;
    ~AtomicFileWriter(); ///< aborts a write that was not committed

    /// Appends `bytes` to the new file. After a failure (the new file is then gone) this and
    /// commit() fail with the first error.
    [[nodiscard]] std::expected<void, Error> write(QByteArrayView bytes);
    /// The first failure of write(), if any.
    [[nodiscard]] std::optional<Error> failure() const;
    /// Flushes the new file to the disk and puts it in the target's place in one step. Fails as
    /// writeFileAtomically does; the target is then as it was and the new file is gone.
    [[nodiscard]] std::expected<void, Error> commit();
    /// Removes the new file; the target stays as it was. Nothing happens after commit().
    void abort();

    struct State; ///< private

private:
    explicit AtomicFileWriter(std::unique_ptr<State> state);
    std::unique_ptr<State> m_state;
};

/// Whether a file (or link, or folder) of the name `path` exists, the name taken as its bytes.
[[nodiscard]] bool nameTaken(const QString& path);

} // namespace lumora
