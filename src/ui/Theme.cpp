#include "ui/Theme.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLabel>
#include <QPalette>
#include <QStyleFactory>

namespace lumora {

QLabel* styledLabel(const QString& text, int pixels, QFont::Weight weight, QColor color)
{
    auto* label = new QLabel(text);
    QFont font = label->font();
    font.setPixelSize(pixels);
    font.setWeight(weight);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

void applyDarkLook()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette;
    palette.setColor(QPalette::Window, theme::window);
    palette.setColor(QPalette::WindowText, theme::text);
    palette.setColor(QPalette::Base, theme::bar);
    palette.setColor(QPalette::AlternateBase, theme::window);
    palette.setColor(QPalette::ToolTipBase, theme::bar);
    palette.setColor(QPalette::ToolTipText, theme::text);
    palette.setColor(QPalette::Text, theme::text);
    palette.setColor(QPalette::Button, theme::button);
    palette.setColor(QPalette::ButtonText, theme::text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, theme::accent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, theme::accent);
    palette.setColor(QPalette::PlaceholderText, theme::textMuted);
    palette.setColor(QPalette::Mid, theme::divider);
    palette.setColor(QPalette::Dark, theme::window);
    for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        palette.setColor(QPalette::Disabled, role, theme::textMuted);
    QApplication::setPalette(palette);
    if (QFontDatabase::families().contains(QStringLiteral("Inter"))) {
        QFont font(QStringLiteral("Inter"));
        font.setPointSizeF(10);
        QApplication::setFont(font);
    }
}

} // namespace lumora
