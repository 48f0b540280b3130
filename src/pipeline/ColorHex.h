#pragma once

#include <QColor>
#include <QString>
#include <optional>

namespace lumora {

/// Parses "#RRGGBB" or "#RRGGBBAA" (number sign optional, case and surrounding white space ignored).
/// Returns no colour for any other form; the caller picks its own fallback.
[[nodiscard]] std::optional<QColor> colorFromHex(const QString& text);

/// Formats a colour as "#RRGGBB" when its alpha rounds to 255, otherwise as "#RRGGBBAA".
/// Components are rounded half away from zero after scaling to 0…255.
[[nodiscard]] QString hexFromColor(const QColor& color);

/// colorFromHex(text), or `fallback` when the text does not parse.
[[nodiscard]] QColor colorOr(const QString& text, Qt::GlobalColor fallback);

} // namespace lumora
