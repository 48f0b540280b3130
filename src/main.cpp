#include "ui/MainWindowRoot.h"
#include "ui/Theme.h"
#include "ui/WidgetDialogs.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora Studio"));
    QApplication::setOrganizationName(QStringLiteral("Lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("lumora-studio"));
    lumora::applyDarkLook();
    lumora::installGermanQtTexts();

    // Files handed over by a file manager ("Open with") are loaded like a drop, no question.
    lumora::MainWindowRoot root(QApplication::arguments().mid(1));
    return QApplication::exec();
}
