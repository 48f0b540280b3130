#include "base/NativePath.h"
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
    // Paths as given, bytes that are not UTF-8 included; the application has taken its own
    // options out of argv.
    QStringList paths;
    for (int i = 1; i < argc; ++i)
        paths.append(lumora::pathFromNative(QByteArray(argv[i])));
    lumora::MainWindowRoot root(paths);
    return QApplication::exec();
}
