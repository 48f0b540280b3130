#pragma once

#include <QByteArray>
#include <QString>

class QUrl;

namespace lumora {

// File names on Linux are bytes; most are UTF-8, but a card written by an old camera or
// another system can hold names that are not. Such a name is carried in a QString with each
// byte that is not part of valid UTF-8 kept as one of the lone surrogates U+DC80…U+DCFF (no
// valid UTF-8 decodes to those), so the exact bytes come back when the file is opened. Qt's
// own file classes would turn those bytes into U+FFFD and miss the file: every open, write,
// rename and removal of a photo's file goes through nativePath.

/// `bytes` as the operating system gives a path: valid UTF-8 decoded, every other byte as
/// U+DC00 + byte. Pure; thread-safe.
[[nodiscard]] QString pathFromNative(const QByteArray& bytes);

/// The bytes of the file `path` names: UTF-8, with U+DC80…U+DCFF turned back into their single
/// bytes. pathFromNative(b) round-trips to b for every b. Pure; thread-safe.
[[nodiscard]] QByteArray nativePath(const QString& path);

/// The local path a file URL from outside names (a drop, a file manager's "Open with"), its
/// percent-encoded bytes decoded as pathFromNative does; empty for URLs of no local file.
/// QUrl::toLocalFile() would turn bytes that are not UTF-8 into U+FFFD.
[[nodiscard]] QString localPathOfUrl(const QUrl& url);

} // namespace lumora
