#include "app/LaunchArguments.h"

#include <gtest/gtest.h>

using namespace lumora;

namespace {

const auto open = LaunchRequest::Action::openPhotos;
const auto version = LaunchRequest::Action::printVersion;
const auto help = LaunchRequest::Action::printHelp;

} // namespace

TEST(LaunchArguments, OptionsBeforeTheEndMarkerAskForTheVersionOrGermanHelpEverythingElseIsAPhoto)
{
    const struct {
        QStringList arguments;
        LaunchRequest expected;
    } cases[] = {
        {{}, {open, {}}},
        {{"/karte/a.jpg", "b.jpg"}, {open, {"/karte/a.jpg", "b.jpg"}}},
        {{"--version"}, {version, {}}},
        {{"/karte/a.jpg", "--version"}, {version, {}}},
        {{"--help"}, {help, {}}},
        {{"-h", "--version"}, {help, {}}},
        {{"--", "--help", "-h"}, {open, {"--help", "-h"}}},
        {{"a.jpg", "--", "--", "--version"}, {open, {"a.jpg", "--", "--version"}}},
        {{"-x.jpg", "--unbekannt"}, {open, {"-x.jpg", "--unbekannt"}}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(parseLaunchArguments(c.arguments), c.expected) << c.arguments.join(' ').toStdString();
    // The texts asked for: the project's version, and German help.
    EXPECT_EQ(launchVersionText(), QStringLiteral("Lumora Studio ") + QStringLiteral(LUMORA_VERSION));
    EXPECT_TRUE(launchHelpText().startsWith(QStringLiteral("Aufruf: lumora-studio [FOTOS...]\n")));
    EXPECT_TRUE(launchHelpText().endsWith('\n'));
}
