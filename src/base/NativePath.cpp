#include "base/NativePath.h"

#include <QUrl>

namespace lumora {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

/// The length of the valid UTF-8 sequence at `at` (its code point in `out`), or 0 when the
/// bytes there are not one: overlong forms, surrogates and values past U+10FFFF are invalid.
int validSequence(const QByteArray& bytes, qsizetype at, char32_t& out)
{
    const auto byte = [&](qsizetype i) { return uchar(bytes[i]); };
    const uchar lead = byte(at);
    int length = 0;
    char32_t min = 0;
    if (lead < 0x80) {
        out = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, min = 0x80, out = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, min = 0x800, out = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, min = 0x10000, out = lead & 0x07;
    } else {
        return 0;
    }
    if (at + length > bytes.size())
        return 0;
    for (int i = 1; i < length; ++i) {
        if ((byte(at + i) & 0xC0) != 0x80)
            return 0;
        out = (out << 6) | (byte(at + i) & 0x3F);
    }
    if (out < min || out > 0x10FFFF || (out >= 0xD800 && out <= 0xDFFF))
        return 0;
    return length;
}

} // namespace

QString pathFromNative(const QByteArray& bytes)
{
    QString path;
    path.reserve(bytes.size());
    for (qsizetype i = 0; i < bytes.size();) {
        char32_t code = 0;
        const int length = validSequence(bytes, i, code);
        if (length == 0) {
            path.append(QChar(char16_t(kEscapeBase + uchar(bytes[i]))));
            ++i;
            continue;
        }
        path.append(QString::fromUcs4(&code, 1));
        i += length;
    }
    return path;
}

QByteArray nativePath(const QString& path)
{
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype plain = 0; // start of the stretch not yet converted
    for (qsizetype i = 0; i < path.size(); ++i) {
        const char16_t unit = path[i].unicode();
        const bool escaped = unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF
                             && (i == 0 || !QChar::isHighSurrogate(path[i - 1].unicode()));
        if (!escaped)
            continue;
        bytes += QStringView(path).sliced(plain, i - plain).toUtf8();
        bytes += char(unit - kEscapeBase);
        plain = i + 1;
    }
    bytes += QStringView(path).sliced(plain).toUtf8();
    return bytes;
}

QString localPathOfUrl(const QUrl& url)
{
    if (!url.isLocalFile())
        return {};
    return pathFromNative(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

} // namespace lumora
