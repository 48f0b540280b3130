#include "base/NativePath.h"

#include <QUrl>
#include <gtest/gtest.h>

using namespace lumora;

TEST(NativePath, EveryByteStringAndFileUrlComesBackAndValidUtf8ReadsAsText)
{
    struct Case {
        QByteArray bytes;
        QString text; ///< what pathFromNative must give
    };
    const QChar e9(char16_t(0xDCE9));
    const Case cases[] = {
        {"/karte/IMG_0042.JPG", QStringLiteral("/karte/IMG_0042.JPG")},
        {"/karte/M\xC3\xA4rz \xF0\x9F\x93\xB7.jpg", QStringLiteral("/karte/März 📷.jpg")},
        {"/karte/caf\xE9.jpg", QStringLiteral("/karte/caf") + e9 + QStringLiteral(".jpg")},
        {"\xC3", QString(QChar(char16_t(0xDCC3)))},                               // cut sequence
        {"\xC0\xAF", QString(QChar(char16_t(0xDCC0))) + QChar(char16_t(0xDCAF))}, // overlong "/"
        {"\xED\xB3\xA9", QString(QChar(char16_t(0xDCED))) + QChar(char16_t(0xDCB3)) + QChar(char16_t(0xDCA9))},
        {"\xF4\x90\x80\x80", QString(QChar(char16_t(0xDCF4))) + QChar(char16_t(0xDC90)) + QChar(char16_t(0xDC80))
                                 + QChar(char16_t(0xDC80))}, // past U+10FFFF
        {"Zeile\nUmbruch", QStringLiteral("Zeile\nUmbruch")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(pathFromNative(c.bytes), c.text) << c.bytes.toHex().toStdString();
        EXPECT_EQ(nativePath(pathFromNative(c.bytes)), c.bytes) << c.bytes.toHex().toStdString();
    }
    // File URLs from outside keep their bytes.
    EXPECT_EQ(nativePath(localPathOfUrl(QUrl(QStringLiteral("file:///karte/caf%E9%20x.jpg")))),
              QByteArray("/karte/caf\xE9 x.jpg"));
    EXPECT_EQ(localPathOfUrl(QUrl(QStringLiteral("file:///karte/M%C3%A4rz.jpg"))), QStringLiteral("/karte/März.jpg"));
    EXPECT_TRUE(localPathOfUrl(QUrl(QStringLiteral("https://example.org/a.jpg"))).isEmpty());
}
