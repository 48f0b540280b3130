#pragma once

#include <QColor>
#include <QFont>

class QLabel;

namespace lumora {

/// The application's one fixed dark palette (sRGB), for the main window, its sheets and the
/// magnifier windows. They are dark whatever the desktop's colour scheme says.
namespace theme {

inline const QColor window = QColor::fromRgbF(0.12f, 0.12f, 0.13f);    ///< window, grid, preview background
inline const QColor bar = QColor::fromRgbF(0.17f, 0.17f, 0.18f);       ///< toolbar band, edge fades, progress card
inline const QColor button = QColor::fromRgbF(0.22f, 0.22f, 0.23f);    ///< toolbar buttons, card placeholder
inline const QColor divider = QColor::fromRgbF(0.28f, 0.28f, 0.30f);   ///< line under the toolbar
inline const QColor text = QColor::fromRgbF(0.92f, 0.92f, 0.93f);      ///< primary text
inline const QColor textMuted = QColor::fromRgbF(0.55f, 0.55f, 0.58f); ///< secondary text
inline const QColor accent = QColor::fromRgbF(0.22f, 0.60f, 1.00f);    ///< selection, counts, value texts
/// Background of a highlighted magnifier text button: the accent at 18 % opacity.
inline const QColor accentWash = QColor::fromRgbF(0.22f, 0.60f, 1.00f, 0.18f);

} // namespace theme

/// A label in the window's type scale: `pixels` high text of `weight` in `color`.
[[nodiscard]] QLabel* styledLabel(const QString& text, int pixels, QFont::Weight weight = QFont::Normal,
                                  QColor color = theme::text);

/// Applies the Fusion style and the fixed dark palette to the whole application, and Inter as
/// the interface font where it is installed.
void applyDarkLook();

} // namespace lumora
