// lumora-screenshots: pictures of the real window and of its parts, for people to look at.
// Run under Xvfb; see --help.
#include "PictureShots.h"
#include "ScreenshotMode.h"
#include "ui/MainWindowRoot.h"
#include "ui/Theme.h"
#include "ui/WidgetDialogs.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QTemporaryDir>

namespace {

int mainWindowShots(const QString& folder, const QStringList& photos)
{
    // A journal of its own: the user's would ask about a session of theirs, and no one answers here.
    const QTemporaryDir journal;
    lumora::MainWindowRoot root(photos, journal.path() + QStringLiteral("/session"));
    lumora::startScreenshots(root.window(), folder);
    return QApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("lumora-screenshots"));
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Writes pictures of Lumora Studio into FOLDER. Without a mode: the main window with the "
                       "photos (grid-auswahl.png, info.png, info-blatt.png, schmal.png)."));
    parser.addHelpOption();
    const QCommandLineOption magnifier(QStringLiteral("magnifier"),
                                       QStringLiteral("A magnifier window at fit, 100 % and 195 % (lupe-*.png)."));
    const QCommandLineOption overlay(QStringLiteral("overlay"),
                                     QStringLiteral("The progress overlay during an export (progress-overlay.png)."));
    const QCommandLineOption watermark(QStringLiteral("watermark"),
                                       QStringLiteral("The watermark sheet (watermark-sheet.png)."));
    const QCommandLineOption panels(
        QStringLiteral("panels"),
        QStringLiteral("The open panel and the colour dialog (dateipanel.png, farbdialog.png)."));
    const QCommandLineOption editor(
        QStringLiteral("editor"),
        QStringLiteral("The editor sheet in each built mode (editor-rechteck.png, editor-freihand.png, "
                       "editor-fuellen.png, editor-pfeil.png, editor-text-bearbeiten.png, editor-text.png, "
                       "editor-zuschneiden*.png, editor-ki-*.png)."));
    parser.addOptions({magnifier, overlay, watermark, panels, editor});
    parser.addPositionalArgument(QStringLiteral("FOLDER"), QStringLiteral("Where the pictures go."));
    parser.addPositionalArgument(QStringLiteral("PHOTO"),
                                 QStringLiteral("Photos to show; the part modes use the first one and "
                                                "generate a test card without one."),
                                 QStringLiteral("[PHOTO...]"));
    parser.process(app);

    const QStringList args = parser.positionalArguments();
    if (args.isEmpty())
        parser.showHelp(2);
    const QString folder = args.first();
    const QStringList photos = args.mid(1);
    const QString photo = photos.value(0);
    QDir().mkpath(folder);
    lumora::applyDarkLook();
    lumora::useGermanEverywhere();

    if (parser.isSet(magnifier))
        return lumora::magnifierShots(folder, photo);
    if (parser.isSet(overlay))
        return lumora::overlayShot(folder, photo);
    if (parser.isSet(watermark))
        return lumora::watermarkShot(folder, photo);
    if (parser.isSet(editor))
        return lumora::editorShots(folder, photo);
    if (parser.isSet(panels))
        return lumora::panelShots(folder);
    return mainWindowShots(folder, photos);
}
