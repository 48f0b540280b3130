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
    const bool help = command == QLatin1String("--help") || command == QLatin1String("-h");
    (help ? out : err) << "Aufruf: lumora-cli BEFEHL [Optionen] [Argumente]\n"
                          "Befehle:\n"
                          "  render   ein Foto mit Bearbeitungen rendern und schreiben\n"
                          "  export   Fotos nummeriert als JPEG oder PNG exportieren\n"
                          "  bench    Dekodieren, Rendern, Kodieren und Export messen\n"
                          "  cutout   die Motive eines Fotos freistellen, neuer Hintergrund\n"
                          "\"lumora-cli BEFEHL --help\" zeigt die Optionen eines Befehls.\n";
    if (help)
        return 0;
    return 2;
}
