// lumora-screenshots FOLDER PHOTO...: starts the real window with the photos and writes
// pictures of it into FOLDER (see ScreenshotMode.h), then quits. Run under Xvfb.
#include "ScreenshotMode.h"
#include "platform/UDisksVolumeService.h"
#include "ui/ContentView.h"
#include "ui/Palette.h"
#include "ui/WidgetDialogs.h"

#include <QApplication>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = QApplication::arguments().mid(1);
    if (args.isEmpty()) {
        qWarning("Aufruf: lumora-screenshots ZIELORDNER FOTO...");
        return 2;
    }
    lumora::applyDarkLook();
    lumora::WidgetDialogs dialogs;
    lumora::UDisksVolumeService volumes;
    lumora::ContentView window(dialogs, volumes);
    dialogs.setWindow(&window);
    window.show();
    if (args.size() > 1)
        window.loading().openArguments(args.mid(1));
    lumora::startScreenshots(window, args.first());
    return QApplication::exec();
}
