#pragma once

#include "app/KeySequenceTracker.h"
#include "platform/UDisksVolumeService.h"
#include "ui/ContentView.h"
#include "ui/WidgetDialogs.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QStringList>

namespace lumora {

/// The real main window together with the services it is handed: the widget dialogs (asking
/// over this window), UDisks2 for ejecting, the one magnifier window manager and the one key
/// sequence tracker. The services are declared first, so they outlive the window. Create it
/// on the UI thread after the QApplication; the window is shown and `files` are loaded like
/// a drop, without a question.
class MainWindowRoot {
public:
    explicit MainWindowRoot(const QStringList& files = {});

    [[nodiscard]] ContentView& window() { return m_window; }

private:
    WidgetDialogs m_dialogs;
    UDisksVolumeService m_volumes;
    LupenFensterManager m_magnifiers;
    KeySequenceTracker m_keySequence;
    ContentView m_window;
};

} // namespace lumora
