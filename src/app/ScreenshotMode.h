#pragma once

#include <QString>

namespace lumora {

class ContentView;

/// Pictures of the real window for looking at it (LUMORA_SCREENSHOTS=<folder>): once the
/// photos given on the command line are loaded and rendered, selects three of them and writes
/// grid-auswahl.png, opens the info sheet and writes info.png, then quits the application.
void startScreenshots(ContentView& window, const QString& folder);

} // namespace lumora
