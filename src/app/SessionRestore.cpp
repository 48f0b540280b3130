#include "app/SessionRestore.h"

#include "app/PhotoSelection.h"
#include "app/SessionJournal.h"
#include "model/ImageProcessor.h"
#include "platform/Dialogs.h"

#include <QFileInfo>

namespace lumora {

namespace {

const QString kTitle = QStringLiteral("Sitzung wiederherstellen");

/// Asks whether to throw away a journal that cannot be used; kept unless the user says so.
JournalOutcome offerDiscard(const JournalFolder& folder, Dialogs& dialogs, const QString& reason)
{
    QuestionRequest question;
    question.title = kTitle;
    question.message = QStringLiteral("Die letzte Sitzung wurde nicht beendet, ihre Änderungen lassen sich aber nicht "
                                      "wiederherstellen: %1\n\nDas Protokoll verwerfen?")
                           .arg(reason);
    question.buttons = {{QStringLiteral("Behalten"), DialogButton::Role::cancel},
                        {QStringLiteral("Verwerfen"), DialogButton::Role::destructive}};
    question.escapeButton = 0;
    question.defaultButton = 0;
    if (dialogs.ask(question) != 1)
        return JournalOutcome::kept;
    folder.clear();
    return JournalOutcome::discarded;
}

} // namespace

QString restoreQuestionText(int changedPhotos)
{
    return changedPhotos == 1
               ? QStringLiteral("Die letzte Sitzung wurde nicht beendet. 1 Foto mit Änderungen wiederherstellen?")
               : QStringLiteral("Die letzte Sitzung wurde nicht beendet. %1 Fotos mit Änderungen wiederherstellen?")
                     .arg(changedPhotos);
}

JournalOutcome offerRestore(const JournalFolder& folder, Dialogs& dialogs, ImageProcessor& processor,
                            PhotoSelection& selection, SessionJournal& journal, std::function<void()> restored)
{
    if (!folder.hasJournal())
        return JournalOutcome::none;
    auto contents = folder.read();
    if (!contents)
        return offerDiscard(folder, dialogs, contents.error());
    if (contents->changedCount() == 0 && contents->skipped.isEmpty()) {
        folder.clear(); // nothing of the last session differs from its files
        return JournalOutcome::none;
    }
    if (contents->changedCount() == 0)
        return offerDiscard(folder, dialogs, contents->skipped.join(QLatin1Char('\n')));

    QuestionRequest question;
    question.title = kTitle;
    question.message = restoreQuestionText(contents->changedCount());
    question.buttons = {{QStringLiteral("Wiederherstellen"), DialogButton::Role::normal},
                        {QStringLiteral("Verwerfen"), DialogButton::Role::destructive}};
    question.defaultButton = 0;
    const std::optional<int> answer = dialogs.ask(question);
    if (!answer)
        return JournalOutcome::kept;
    if (*answer == 1) {
        folder.clear();
        return JournalOutcome::discarded;
    }

    QList<PhotoRestore> requests;
    journal.setListPaused(true);
    for (const RestorablePhoto& photo : contents->photos) {
        const QUrl url = QUrl::fromLocalFile(photo.entry.path);
        requests.append(PhotoRestore{photo.entry.id, url, photo.entry.identity, photo.originalPath, photo.originalSize,
                                     photo.edits});
        journal.expectRestored(photo.entry.id, QFileInfo(photo.originalPath).fileName());
    }
    const QStringList unreadable = contents->skipped;
    const QList<QUuid> selected = contents->selection;
    processor.restorePhotos(requests, [&processor, &selection, &journal, &dialogs, unreadable, selected,
                                       restored = std::move(restored)](const QStringList& skipped) {
        QList<QUuid> present;
        for (const QUuid& id : selected) {
            if (processor.indexOf(id) >= 0)
                present.append(id);
        }
        selection.restore(present);
        journal.setListPaused(false);
        const QStringList leftOut = unreadable + skipped;
        if (!leftOut.isEmpty())
            dialogs.inform(kTitle, QStringLiteral("Diese Fotos wurden nicht wiederhergestellt:\n")
                                       + leftOut.join(QLatin1Char('\n')));
        if (restored)
            restored();
    });
    return JournalOutcome::restoring;
}

} // namespace lumora
