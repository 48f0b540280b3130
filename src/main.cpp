#include "app/KeySequenceTracker.h"
#include "platform/UDisksVolumeService.h"
#include "ui/ContentView.h"
#include "ui/Theme.h"
#include "ui/WidgetDialogs.h"
#include "ui/magnifier/LupenFensterManager.h"

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

    lumora::WidgetDialogs dialogs;
    lumora::UDisksVolumeService volumes;
    lumora::LupenFensterManager magnifiers;
    lumora::KeySequenceTracker keySequence;
    lumora::ContentView window({dialogs, volumes, magnifiers, keySequence});
    dialogs.setWindow(&window);
    window.show();

    // Files handed over by a file manager ("Open with") are loaded like a drop, no question.
    const QStringList files = QApplication::arguments().mid(1);
    if (!files.isEmpty())
        window.loading().openArguments(files);
    return QApplication::exec();
}
