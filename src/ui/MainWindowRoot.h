#pragma once

#include "app/KeySequenceTracker.h"
#include "app/SessionJournal.h"
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
///
/// It keeps the session journal in `journalFolder` (JournalFolder::defaultPath() by default):
/// a journal left by a session that did not end is offered for restore first; destroying the
/// root is a clean end and removes the journal. A second running instance keeps no journal.
class MainWindowRoot {
public:
    /// `restoreAnswers`, when given, answers the restore question instead of a window's dialog.
    explicit MainWindowRoot(const QStringList& files = {}, const QString& journalFolder = JournalFolder::defaultPath(),
                            Dialogs* restoreAnswers = nullptr);
    ~MainWindowRoot();
    MainWindowRoot(const MainWindowRoot&) = delete;
    MainWindowRoot& operator=(const MainWindowRoot&) = delete;

    [[nodiscard]] ContentView& window() { return m_window; }

private:
    WidgetDialogs m_dialogs;
    UDisksVolumeService m_volumes;
    LupenFensterManager m_magnifiers;
    KeySequenceTracker m_keySequence;
    ContentView m_window;
    JournalFolder m_journalFolder;
    std::unique_ptr<JournalLock> m_journalLock;
    std::unique_ptr<SessionJournal> m_journal; ///< none while another instance keeps the journal

    void startJournal(Dialogs& answers);

public:
    /// The session journal, if this instance keeps one (tests).
    [[nodiscard]] SessionJournal* journal() { return m_journal.get(); }
};

} // namespace lumora
