#pragma once

#include "base/Error.h"
#include "base/FailureText.h"

#include <QByteArray>
#include <QString>
#include <expected>

namespace lumora {

/// Writes `bytes` to `path` atomically: into a new hidden file in the same folder, flushed to
/// the disk, then renamed over the target. A failed or interrupted write leaves the old file
/// untouched and no temporary file behind. A file that is replaced keeps its permissions; an
/// existing file without write permission is not replaced, nor is a folder.
/// A symbolic link at `path` is followed (the photo it names is written), or, with
/// LinkAtTarget::replace, replaced by the new file while its target is left alone (a folder
/// of numbered exports must never write outside itself through a planted link).
/// Fails with fileFailure(FileAction::write, path, …): a German sentence naming the file and
/// the reason. Thread-safe.
enum class LinkAtTarget { follow, replace };
[[nodiscard]] std::expected<void, Error> writeFileAtomically(const QString& path, const QByteArray& bytes,
                                                             LinkAtTarget link = LinkAtTarget::follow);

} // namespace lumora
