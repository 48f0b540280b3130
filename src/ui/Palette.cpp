#include "ui/Palette.h"

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
    palette.setColor(QPalette::Window, farben::fenster);
    palette.setColor(QPalette::WindowText, farben::text);
    palette.setColor(QPalette::Base, farben::leiste);
    palette.setColor(QPalette::AlternateBase, farben::fenster);
    palette.setColor(QPalette::ToolTipBase, farben::leiste);
    palette.setColor(QPalette::ToolTipText, farben::text);
    palette.setColor(QPalette::Text, farben::text);
    palette.setColor(QPalette::Button, farben::knopf);
    palette.setColor(QPalette::ButtonText, farben::text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, farben::akzent);
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::Link, farben::akzent);
    palette.setColor(QPalette::PlaceholderText, farben::textLeise);
    palette.setColor(QPalette::Mid, farben::trennlinie);
    palette.setColor(QPalette::Dark, farben::fenster);
    for (auto role : {QPalette::Text, QPalette::ButtonText, QPalette::WindowText})
        palette.setColor(QPalette::Disabled, role, farben::textLeise);
    QApplication::setPalette(palette);
    if (QFontDatabase::families().contains(QStringLiteral("Inter"))) {
        QFont font(QStringLiteral("Inter"));
        font.setPointSizeF(10);
        QApplication::setFont(font);
    }
}

} // namespace lumora
