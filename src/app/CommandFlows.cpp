#include "app/CommandFlows.h"

#include "base/UiThread.h"

#include "fileops/DeleteRestore.h"
#include "fileops/SaveExport.h"
#include "model/ImageProcessor.h"
#include "platform/Dialogs.h"
#include "platform/Preferences.h"
#include "platform/VolumeService.h"

#include <QDir>
#include <cmath>

namespace lumora {

namespace {

const QString kAlertTitle = QStringLiteral("Hinweis");

QString successMessage(CommandFlows::Command command)
{
    switch (command) {
    case CommandFlows::Command::save: return QStringLiteral("Alle Bilder wurden erfolgreich überschrieben.");
    case CommandFlows::Command::exportJpg: return QStringLiteral("Export als JPG erfolgreich abgeschlossen.");
    case CommandFlows::Command::exportPng: return QStringLiteral("Export als PNG erfolgreich abgeschlossen.");
    case CommandFlows::Command::deleteFiles: return QStringLiteral("Ausgewählte Bilder wurden entfernt.");
    case CommandFlows::Command::eject:
    case CommandFlows::Command::none: break;
    }
    return {};
}

QString failurePrefix(CommandFlows::Command command)
{
    switch (command) {
    case CommandFlows::Command::save: return QStringLiteral("Fehler beim Überschreiben: ");
    case CommandFlows::Command::exportJpg: return QStringLiteral("Fehler beim JPG-Export: ");
    case CommandFlows::Command::exportPng: return QStringLiteral("Fehler beim PNG-Export: ");
    case CommandFlows::Command::deleteFiles:
    case CommandFlows::Command::eject:
    case CommandFlows::Command::none: break;
    }
    return {};
}

} // namespace

CommandFlows::CommandFlows(ImageProcessor& processor, Dialogs& dialogs, VolumeService& volumes, QObject* parent)
    : QObject(parent), m_processor(processor), m_dialogs(dialogs), m_volumes(volumes)
{
}

QString CommandFlows::progressText() const
{
    const QString percent = QString::number(int(m_progress * 100)) + QStringLiteral(" %");
    switch (m_running) {
    case Command::save: return QStringLiteral("Speichere … ") + percent;
    case Command::exportJpg:
    case Command::exportPng: return QStringLiteral("Exportiere … ") + percent;
    case Command::deleteFiles: return QStringLiteral("Lösche … ") + percent;
    case Command::eject: return QStringLiteral("Werfe die SD-Karte aus …");
    case Command::none: break;
    }
    return {};
}

QString CommandFlows::cancelledMessage(Command command, const StreamEnd& end)
{
    const QString counts = QStringLiteral("Abgebrochen – %1 von %2").arg(end.done).arg(end.total);
    return counts
           + (command == Command::deleteFiles ? QStringLiteral(" Dateien wurden gelöscht.")
                                              : QStringLiteral(" Bildern wurden geschrieben."));
}

void CommandFlows::save()
{
    if (orderWasChanged) {
        QuestionRequest warning;
        warning.title = QStringLiteral("Hinweis zur Sortierung");
        warning.message = QStringLiteral(
            "Du hast die Reihenfolge der Fotos geändert. Beim normalen Speichern werden die Originaldateien "
            "überschrieben — die neue Reihenfolge geht dabei verloren.\n\n"
            "Möchtest du stattdessen als JPG exportieren? Die exportierten Dateien werden dann nummeriert "
            "(01_, 02_, …) und behalten die neue Reihenfolge.");
        warning.buttons = {{QStringLiteral("Trotzdem speichern"), DialogButton::Role::normal},
                           {QStringLiteral("Export JPG"), DialogButton::Role::cancel}};
        warning.escapeButton = 1;
        const std::optional<int> choice = m_dialogs.ask(warning);
        if (choice == 0) {
            orderWasChanged = false;
            runSave();
        } else if (choice == 1) {
            exportJpg();
        }
        return;
    }
    const bool anyWatermark = std::any_of(m_processor.photos().cbegin(), m_processor.photos().cend(),
                                          [](const PhotoItem& photo) { return photo.edits.watermark.has_value(); });
    if (!anyWatermark || skipWatermarkSaveWarning) {
        runSave();
        return;
    }
    QuestionRequest warning;
    warning.title = QStringLiteral("Wasserzeichen wird eingebrannt");
    warning.message = QStringLiteral(
        "Beim Speichern wird das Wasserzeichen fest in die Bilder eingebrannt und die Originaldateien werden "
        "überschrieben. Das lässt sich nicht rückgängig machen.\n\n"
        "Tipp: Wenn du die Originale ohne Wasserzeichen behalten möchtest, nutze stattdessen „→ JPG“ und wähle "
        "einen anderen Zielordner.");
    warning.buttons = {{QStringLiteral("Abbrechen"), DialogButton::Role::cancel},
                       {QStringLiteral("Speichern"), DialogButton::Role::normal},
                       {QStringLiteral("Speichern, nicht mehr fragen"), DialogButton::Role::normal}};
    warning.escapeButton = 0;
    const std::optional<int> choice = m_dialogs.ask(warning);
    if (choice == 2)
        skipWatermarkSaveWarning = true;
    if (choice == 1 || choice == 2)
        runSave();
}

void CommandFlows::exportJpg()
{
    runExport(false);
}

void CommandFlows::exportPng()
{
    runExport(true);
}

void CommandFlows::runSave()
{
    tellOnceAboutRawFiles();
    m_token->reset();
    follow(Command::save, saveOverOriginals(m_processor, m_token));
}

void CommandFlows::tellOnceAboutRawFiles()
{
    if (m_toldAboutRawFiles)
        return;
    const auto& photos = m_processor.photos();
    const auto raw = std::find_if(photos.cbegin(), photos.cend(), [](const PhotoItem& p) { return p.cameraRawFile; });
    if (raw == photos.cend())
        return;
    m_toldAboutRawFiles = true;
    const QString name = raw->url.fileName();
    showMessage(QStringLiteral("Kamera-RAW-Dateien werden beim Speichern nicht überschrieben, ihre Sensordaten "
                               "bleiben erhalten. Das Foto wird als JPG daneben gespeichert: aus „%1“ wird „%2“.")
                    .arg(name, besideRawName(name)));
}

void CommandFlows::runExport(bool png)
{
    FolderPanelRequest panel;
    panel.title =
        png ? QStringLiteral("Export-Zielordner für PNG wählen") : QStringLiteral("Export-Zielordner für JPG wählen");
    panel.startFolder = QDir::homePath();
    panel.canCreateFolders = true;
    const std::optional<QString> folder = m_dialogs.chooseFolder(panel);
    if (!folder || folder->isEmpty())
        return;
    m_token->reset();
    const QList<PhotoItem> snapshot = m_processor.photos();
    const int count = int(snapshot.size());
    const ProgressStreamPtr stream = png ? exportPNG(snapshot, m_token, numberWidth(count), *folder, count)
                                         : exportJPEG(snapshot, m_token, numberWidth(count), *folder, count);
    follow(png ? Command::exportPng : Command::exportJpg, stream);
}

void CommandFlows::requestDelete(const QSet<QUuid>& selection)
{
    QuestionRequest dialog;
    dialog.title = QStringLiteral("Bilder entfernen?");
    dialog.message = QStringLiteral("Was möchten Sie tun?");
    dialog.buttons = {{QStringLiteral("Nur aus Übersicht entfernen"), DialogButton::Role::normal},
                      {QStringLiteral("In den Papierkorb verschieben"), DialogButton::Role::destructive},
                      {QStringLiteral("Abbrechen"), DialogButton::Role::cancel}};
    dialog.escapeButton = 2;
    const std::optional<int> choice = m_dialogs.ask(dialog);
    if (choice == 0) {
        removeFromOverview(m_processor, selection);
        Q_EMIT selectionCleared();
        showMessage(QStringLiteral("Ausgewählte Bilder wurden aus der Übersicht entfernt."));
    } else if (choice == 1) {
        runDelete(selection);
    }
}

void CommandFlows::runDelete(const QSet<QUuid>& selection)
{
    m_token->reset();
    follow(Command::deleteFiles, deleteFiles(m_processor, selection, m_token));
}

void CommandFlows::restore()
{
    showMessage(restoreMessage(restoreLastDeletion(m_processor)));
}

void CommandFlows::eject()
{
    const QString path = preferences::value(QString::fromLatin1(preferences::kLastUsedVolumePath)).toString();
    if (path.isEmpty()) {
        showMessage(QStringLiteral("Kein Volume-Pfad gespeichert – die SD-Karte ist nicht bekannt."));
        return;
    }
    // Unmounting waits for the card's writes to finish, and the bus may take its time: off
    // the UI thread, with the overlay up meanwhile.
    m_running = Command::eject;
    m_progress = 0;
    Q_EMIT stateChanged();
    runInBackground(
        this, [&volumes = m_volumes, path] { return volumes.unmountAndEject(path); },
        [this](std::expected<void, Error> ejected) {
            m_running = Command::none;
            if (ejected)
                preferences::remove(QString::fromLatin1(preferences::kLastUsedVolumePath));
            Q_EMIT stateChanged(); // the entry follows the stored path
            showMessage(ejected ? QStringLiteral("SD-Karte erfolgreich ausgeworfen.")
                                : QStringLiteral("Auswerfen fehlgeschlagen: ") + ejected.error().description);
        });
}

void CommandFlows::cancelRunning()
{
    m_token->cancel();
}

void CommandFlows::follow(Command command, const ProgressStreamPtr& stream)
{
    m_running = command;
    m_progress = 0;
    Q_EMIT stateChanged();
    stream->subscribe(
        this,
        [this](double value) {
            m_progress = value;
            Q_EMIT stateChanged();
        },
        [this, command](const StreamEnd& end) { finish(command, end); });
}

void CommandFlows::finish(Command command, const StreamEnd& end)
{
    m_running = Command::none;
    Q_EMIT stateChanged();
    if (command == Command::deleteFiles)
        Q_EMIT selectionCleared();
    if (command == Command::save && !end.error && !end.cancelled)
        Q_EMIT everyPhotoSaved();
    if (end.error)
        showMessage(failurePrefix(command) + end.error->description);
    else if (end.cancelled)
        showMessage(cancelledMessage(command, end));
    else
        showMessage(successMessage(command));
    Q_EMIT commandFinished();
}

void CommandFlows::showMessage(const QString& message)
{
    m_dialogs.inform(kAlertTitle, message);
}

} // namespace lumora
