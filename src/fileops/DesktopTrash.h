#pragma once

#include <QByteArray>
#include <QString>

namespace lumora {

// The desktop trash as the freedesktop.org trash describes it: the user's own trash for files on
// the volume of the home folder, the volume's `.Trash/<uid>` (under an administrator's shared
// `.Trash`) or `.Trash-<uid>` for files elsewhere. Each trashed file has an information file
// "info/<name>.trashinfo" naming its old place (percent-encoded) and the file itself under
// "files/<name>". Both functions are synchronous, touch only the trash of the file's volume, and
// end after a bounded number of steps.

/// Moves the file at `path` into its trash: the information file is made exclusively, then the
/// file is renamed into the trash (under a shorter name where its own would not fit beside
/// ".trashinfo", counted on where the name is taken). Makes the trash folders where they are
/// missing. False, with nothing changed, when no trash can take the file (none can be made, it
/// cannot be written, the file is on another volume or already gone).
[[nodiscard]] bool moveToTrash(const QString& path);

/// Takes the file that was at `path` back out of its trash: an entry whose information names
/// `path` and whose file holds exactly `bytes` is renamed back to `path` (replacing what is
/// there now) and its information file removed. Makes no trash folder. False, with the trash
/// left as it was, when no trash holds such an entry or it cannot be moved back.
[[nodiscard]] bool takeBackFromTrash(const QString& path, const QByteArray& bytes);

} // namespace lumora
