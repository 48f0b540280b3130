#include "pipeline/ColorHex.h"

#include <algorithm>
#include <cmath>

namespace lumora {

std::optional<QColor> colorFromHex(const QString& text)
{
    QString digits = text.trimmed().toUpper();
    if (digits.startsWith(QLatin1Char('#')))
        digits.remove(0, 1);
    if (digits.size() != 6 && digits.size() != 8)
        return std::nullopt;

    bool ok = false;
    const uint v = digits.toUInt(&ok, 16);
    // toUInt accepts a leading sign or "0x"; the string must consist of hex digits only.
    const bool allHex = std::all_of(digits.cbegin(), digits.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('F'));
    });
    if (!ok || !allHex)
        return std::nullopt;

    QColor color;
    if (digits.size() == 6)
        color.setRgbF(float((v >> 16) & 0xFF) / 255.0f, float((v >> 8) & 0xFF) / 255.0f, float(v & 0xFF) / 255.0f,
                      1.0f);
    else
        color.setRgbF(float((v >> 24) & 0xFF) / 255.0f, float((v >> 16) & 0xFF) / 255.0f,
                      float((v >> 8) & 0xFF) / 255.0f, float(v & 0xFF) / 255.0f);
    return color;
}

QString hexFromColor(const QColor& color)
{
    const QColor rgb = color.spec() == QColor::Rgb || !color.isValid() ? color : color.toRgb();
    auto channel = [](float component) { return int(std::lround(double(component) * 255.0)); };
    const int r = channel(rgb.redF());
    const int g = channel(rgb.greenF());
    const int b = channel(rgb.blueF());
    const int a = channel(rgb.alphaF());
    if (a >= 255)
        return QString::asprintf("#%02X%02X%02X", r, g, b);
    return QString::asprintf("#%02X%02X%02X%02X", r, g, b, a);
}

QColor colorOr(const QString& text, Qt::GlobalColor fallback)
{
    return colorFromHex(text).value_or(QColor(fallback));
}

} // namespace lumora
