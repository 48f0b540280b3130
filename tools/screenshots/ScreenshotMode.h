#pragma once

#include <QString>

namespace lumora {

class ContentView;

/// Pictures of the real window for looking at it (LUMORA_SCREENSHOTS=<folder>): once the
/// photos given on the command line are loaded and rendered, selects three of them and writes
/// grid-auswahl.png, opens the info sheet and writes info.png (and the sheet alone as
/// info-blatt.png), shrinks the window to its minimum for schmal.png, then quits.
void startScreenshots(ContentView& window, const QString& folder);

} // namespace lumora
