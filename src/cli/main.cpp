#include "cli/Commands.h"
#include "cli/Cutout.h"

#include <QGuiApplication>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv)
{
    // Text drawing needs a GUI application, never a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QGuiApplication::arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("render"))
        return lumora::runRender(args, out, err);
    if (command == QLatin1String("export"))
        return lumora::runExport(args, out, err);
    if (command == QLatin1String("bench"))
        return lumora::runBench(args, out, err);
    if (command == QLatin1String("cutout"))
        return lumora::runCutout(args, out, err);
    err << "Aufruf: lumora-cli render|export|bench|cutout …\n"
           "  render EINGABE AUSGABE.jpg|.png [--edits BEARBEITUNGEN.json] [--scale S]\n"
           "  export --jpg|--png ORDNER [--edits BEARBEITUNGEN.json] DATEIEN...\n"
           "  bench [--json] DATEIEN...\n"
           "  cutout EINGABE AUSGABE.png|.jpg [--color \"#RRGGBB\" | --background FOTO] [--mask MASKE.png] [--runs N]\n";
    return 2;
}
