#include "app/LaunchArguments.h"

namespace lumora {

LaunchRequest parseLaunchArguments(const QStringList& arguments)
{
    LaunchRequest request;
    bool optionsEnded = false;
    for (const QString& argument : arguments) {
        if (!optionsEnded && argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (!optionsEnded && argument == QLatin1String("--version")) {
            return {LaunchRequest::Action::printVersion, {}};
        } else if (!optionsEnded && (argument == QLatin1String("--help") || argument == QLatin1String("-h"))) {
            return {LaunchRequest::Action::printHelp, {}};
        } else {
            request.photos.append(argument);
        }
    }
    return request;
}

QString launchVersionText()
{
    return QStringLiteral("Lumora Studio " LUMORA_VERSION);
}

QString launchHelpText()
{
    return QStringLiteral("Aufruf: lumora-studio [FOTOS...]\n"
                          "Startet Lumora Studio und lädt die FOTOS wie hineingezogene Dateien.\n"
                          "  --version   Namen und Version ausgeben\n"
                          "  -h, --help  diese Hilfe anzeigen\n"
                          "  --          alles Weitere ist ein Foto, auch wenn es mit „-“ beginnt\n"
                          "Mehr in „man lumora-studio“.\n");
}

} // namespace lumora
