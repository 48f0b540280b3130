#include "app/LaunchArguments.h"
#include "app/ScriptDriver.h"
#include "base/NativePath.h"
#include "base/UiThread.h"
#include "pipeline/SourceImage.h"
#include "ui/MainWindowRoot.h"
#include "ui/Theme.h"
#include "ui/WidgetDialogs.h"

#include <QApplication>

#include <cstdio>
#include <memory>

namespace {

/// The arguments after the program's name, as given: bytes that are not UTF-8 included.
QStringList argumentsOf(int argc, char** argv)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(lumora::pathFromNative(QByteArray(argv[i])));
    return arguments;
}

} // namespace

int main(int argc, char** argv)
{
    // --version and --help answer before Qt starts, so they need no display.
    using Action = lumora::LaunchRequest::Action;
    const Action asked = lumora::parseLaunchArguments(argumentsOf(argc, argv)).action;
    if (asked != Action::openPhotos) {
        const QString text =
            asked == Action::printVersion ? lumora::launchVersionText() + QLatin1Char('\n') : lumora::launchHelpText();
        std::fputs(text.toUtf8().constData(), stdout);
        return 0;
    }

    lumora::loadOnlyUsedDecoders(); // before Qt starts its threads
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Lumora Studio"));
    QApplication::setOrganizationName(QStringLiteral("Lumora"));
    QApplication::setApplicationVersion(QStringLiteral(LUMORA_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("lumora-studio"));
    lumora::applyDarkLook();
    // German text, numbers, dates and sizes, whatever the system's language.
    lumora::useGermanEverywhere();

    // Files handed over by a file manager ("Open with") are loaded like a drop, no question.
    // The application has taken its own options (-platform, ...) out of argv by now.
    // LUMORA_DRIVE=1 (tests only): commands on standard input drive the app, and the restore
    // question is answered there too (see ScriptDriver.h).
    const bool driven = qEnvironmentVariable("LUMORA_DRIVE") == QLatin1String("1");
    lumora::StdinLines lines;
    lumora::DrivenDialogs answers(lines);
    lumora::MainWindowRoot root(lumora::parseLaunchArguments(argumentsOf(argc, argv)).photos,
                                lumora::JournalFolder::defaultPath(), driven ? &answers : nullptr);
    std::unique_ptr<lumora::ScriptDriver> driver;
    if (driven)
        driver = std::make_unique<lumora::ScriptDriver>(lines, root.window().processor(), root.window().selection(),
                                                        root.journal());
    const int code = QApplication::exec();
    // Jobs still on the work pool paint and decode with Qt and libvips: they end before the
    // application object and the libraries' globals are torn down, or the exit crashes.
    lumora::workPool().waitForDone();
    return code;
}
