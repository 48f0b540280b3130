#pragma once

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace lumora {

/// The symbols the window names (toolbar, menus, panels, sheets), drawn from our own
/// monochrome SVGs so they can take any palette colour. Unknown names fall back to the
/// freedesktop theme name of the table, then to an empty pixmap.
namespace icons {

/// The SVG resource of `symbol` (":/icons/<symbol>.svg"), empty when the table has none.
[[nodiscard]] QString resourceOf(const QString& symbol);
/// The freedesktop icon-theme name with the same meaning, for the fallback.
[[nodiscard]] QString themeNameOf(const QString& symbol);
/// Every symbol name of the table.
[[nodiscard]] QStringList symbols();

/// `symbol` drawn in `color`, `side` logical pixels square at device pixel ratio `dpr`.
/// Cached; thread: UI only.
[[nodiscard]] QPixmap pixmap(const QString& symbol, int side, const QColor& color, qreal dpr = 1.0);
/// An icon whose normal, disabled and active modes use the primary, secondary and accent colour.
[[nodiscard]] QIcon icon(const QString& symbol);

} // namespace icons

} // namespace lumora
