#pragma once

#include <QColor>

namespace lumora::lupenFarbe {

// The magnifier's fixed dark look, independent of the desktop's colour scheme.

/// Background of the view and of the image area.
inline QColor area() { return QColor::fromRgbF(0.12f, 0.12f, 0.13f); }
/// Background of the toolbar.
inline QColor bar() { return QColor::fromRgbF(0.17f, 0.17f, 0.18f); }
/// Separator lines.
inline QColor trenner() { return QColor::fromRgbF(0.28f, 0.28f, 0.30f); }
/// Text and symbols.
inline QColor text() { return QColor::fromRgbF(0.92f, 0.92f, 0.93f); }
/// Button background while the pointer hovers over it.
inline QColor hover() { return QColor::fromRgbF(0.22f, 0.22f, 0.23f); }
/// Text of a highlighted text button.
inline QColor akzent() { return QColor::fromRgbF(0.22f, 0.60f, 1.00f); }
/// Background of a highlighted text button: the accent at 18 % opacity.
inline QColor akzentFlaeche() { return QColor::fromRgbF(0.22f, 0.60f, 1.00f, 0.18f); }

} // namespace lumora::lupenFarbe
