#include "ui/MainWindowRoot.h"

#include "app/SessionRestore.h"

namespace lumora {

MainWindowRoot::MainWindowRoot(const QStringList& files, const QString& journalFolder, Dialogs* restoreAnswers)
    : m_window({m_dialogs, m_volumes, m_magnifiers, m_keySequence}), m_journalFolder(journalFolder)
{
    m_dialogs.setWindow(&m_window);
    m_window.show();
    startJournal(restoreAnswers ? *restoreAnswers : m_dialogs);
    if (!files.isEmpty())
        m_window.loading().openArguments(files);
}

MainWindowRoot::~MainWindowRoot()
{
    if (m_journal)
        m_journal->endSession();
}

void MainWindowRoot::startJournal(Dialogs& answers)
{
    m_journalLock = JournalLock::acquire(m_journalFolder);
    if (!m_journalLock)
        return; // another running instance keeps this journal
    m_journal = std::make_unique<SessionJournal>(m_window.processor(), m_window.selection(), m_journalFolder);
    const JournalOutcome outcome =
        offerRestore(m_journalFolder, answers, m_window.processor(), m_window.selection(), *m_journal);
    if (outcome == JournalOutcome::kept) {
        // Left for a later start to offer again; this session must not write over it.
        m_journal.reset();
        m_journalLock.reset();
        return;
    }
    QObject::connect(&m_window.flows(), &CommandFlows::everyPhotoSaved, m_journal.get(),
                     &SessionJournal::everyPhotoSaved);
}

} // namespace lumora
