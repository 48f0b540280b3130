#include "MainWindow.h"

#include <QApplication>
#include <QLabel>
#include <QPalette>
#include <QStyleFactory>

namespace lumora {

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Lumora Studio"));
    setMinimumSize(760, 540);
    resize(1280, 760);
    auto* empty = new QLabel(QStringLiteral("Noch keine Fotos geladen"), this);
    empty->setAlignment(Qt::AlignCenter);
    setCentralWidget(empty);
}

void applyDarkLook()
{
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QPalette palette;
    const QColor window(0x1E, 0x1E, 0x1E);
    const QColor base(0x16, 0x16, 0x16);
    const QColor text(0xEB, 0xEB, 0xEB);
    palette.setColor(QPalette::Window, window);
    palette.setColor(QPalette::WindowText, text);
    palette.setColor(QPalette::Base, base);
    palette.setColor(QPalette::AlternateBase, window);
    palette.setColor(QPalette::ToolTipBase, base);
    palette.setColor(QPalette::ToolTipText, text);
    palette.setColor(QPalette::Text, text);
    palette.setColor(QPalette::Button, QColor(0x2A, 0x2A, 0x2A));
    palette.setColor(QPalette::ButtonText, text);
    palette.setColor(QPalette::BrightText, Qt::white);
    palette.setColor(QPalette::Highlight, QColor(0x0A, 0x84, 0xFF));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    palette.setColor(QPalette::PlaceholderText, QColor(0x8E, 0x8E, 0x93));
    palette.setColor(QPalette::Disabled, QPalette::Text, QColor(0x6E, 0x6E, 0x73));
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(0x6E, 0x6E, 0x73));
    palette.setColor(QPalette::Disabled, QPalette::WindowText, QColor(0x6E, 0x6E, 0x73));
    QApplication::setPalette(palette);
}

} // namespace lumora
