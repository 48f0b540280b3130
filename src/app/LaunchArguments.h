#pragma once

#include <QString>
#include <QStringList>

namespace lumora {

/// What the command line of lumora-studio asks for.
struct LaunchRequest {
    enum class Action { openPhotos, printVersion, printHelp };
    Action action = Action::openPhotos;
    QStringList photos; ///< paths as given, in order; only for openPhotos

    friend bool operator==(const LaunchRequest&, const LaunchRequest&) = default;
};

/// Reads the arguments after the program's name. "--version" and "--help"/"-h" anywhere before
/// "--" ask for that text (the first of them wins); everything else is a photo to load, "--"
/// itself excluded, so "-- --help" loads a file named "--help". Pure.
[[nodiscard]] LaunchRequest parseLaunchArguments(const QStringList& arguments);

/// "Lumora Studio <version>", the answer to --version.
[[nodiscard]] QString launchVersionText();

/// The German usage, the answer to --help; ends with a newline.
[[nodiscard]] QString launchHelpText();

} // namespace lumora
