#include "app/MainWindow.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora Studio"));
    QApplication::setOrganizationName(QStringLiteral("Lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    lumora::applyDarkLook();
    lumora::MainWindow window;
    window.show();
    return QApplication::exec();
}
