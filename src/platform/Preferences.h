#pragma once

#include <QString>
#include <QVariant>

namespace lumora {

/// The user's preferences, under the application's fixed key names (QSettings underneath).
/// Values are written at the moment they change.
namespace preferences {

inline constexpr const char* kLastUsedVolumePath = "LastUsedVolumePath";
inline constexpr const char* kFolderBookmarks = "Lumora.FolderBookmarks.v1";
inline constexpr const char* kMagnifierFrame = "LupenFenster.frame";

[[nodiscard]] QVariant value(const QString& key, const QVariant& fallback = {});
void setValue(const QString& key, const QVariant& value);
void remove(const QString& key);
[[nodiscard]] bool contains(const QString& key);

/// A boolean that counts as true while absent (the slider visibility flags).
[[nodiscard]] bool flag(const QString& key, bool whenAbsent = true);

} // namespace preferences

} // namespace lumora
