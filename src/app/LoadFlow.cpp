#include "app/LoadFlow.h"
#include "app/PanelTexts.h"
#include "base/NativePath.h"

#include "model/ImageProcessor.h"
#include "platform/Dialogs.h"
#include "platform/Preferences.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace lumora {

LoadPlaces LoadPlaces::system()
{
    const QString user = qEnvironmentVariable("USER", QDir::home().dirName());
    LoadPlaces places;
    places.removableRoots = {QStringLiteral("/run/media/") + user, QStringLiteral("/media/") + user,
                             QStringLiteral("/media")};
    places.desktopFolders = QStandardPaths::standardLocations(QStandardPaths::DesktopLocation);
    places.exists = [](const QString& path) { return QFileInfo::exists(path); };
    return places;
}

LoadFlow::LoadFlow(ImageProcessor& processor, Dialogs& dialogs, LoadPlaces places)
    : m_processor(processor), m_dialogs(dialogs), m_places(std::move(places))
{
}

QString LoadFlow::startFolder() const
{
    const QString stored = preferences::value(QString::fromLatin1(preferences::kLastUsedVolumePath)).toString();
    if (!stored.isEmpty() && m_places.exists(stored))
        return stored;
    for (const QString& root : m_places.removableRoots) {
        if (m_places.exists(root))
            return root;
    }
    return m_places.desktopFolders.value(0);
}

QString LoadFlow::volumePathFor(const QString& firstFile)
{
    QDir folder = QFileInfo(firstFile).absoluteDir();
    folder.cdUp(); // stays at "/" for a file directly under the root
    return folder.absolutePath();
}

void LoadFlow::open()
{
    OpenPanelRequest panel;
    panel.title = QStringLiteral("Fotos auswählen");
    panel.startFolder = startFolder();
    panel.nameFilters = {panelTexts::photoFileFilter()};
    panel.multipleSelection = true;
    const QStringList files = m_dialogs.chooseFiles(panel);
    if (files.isEmpty())
        return;
    preferences::setValue(QString::fromLatin1(preferences::kLastUsedVolumePath), volumePathFor(files.first()));
    m_pending.clear();
    for (const QString& file : files)
        m_pending.append(QUrl::fromLocalFile(file));
    if (m_processor.photos().isEmpty()) {
        resolve(Choice::add);
        return;
    }
    QuestionRequest question;
    question.title = QStringLiteral("Fotos laden");
    question.buttons = {{QStringLiteral("Fotos hinzufügen"), DialogButton::Role::normal},
                        {QStringLiteral("Alte Fotos entfernen und neu laden"), DialogButton::Role::destructive},
                        {QStringLiteral("Abbrechen"), DialogButton::Role::cancel}};
    question.escapeButton = 2;
    const std::optional<int> answer = m_dialogs.ask(question);
    resolve(answer == 0 ? Choice::add : answer == 1 ? Choice::replace : Choice::cancel);
}

void LoadFlow::resolve(Choice choice)
{
    const QList<QUrl> urls = std::exchange(m_pending, {}); // the task keeps its own copy
    if (choice == Choice::cancel || urls.isEmpty())
        return;
    if (choice == Choice::replace)
        m_processor.setPhotos({});
    m_processor.loadPhotos(urls);
}

bool LoadFlow::drop(const QList<QUrl>& urls)
{
    QList<QUrl> files;
    for (const QUrl& url : urls) {
        const QString path = localPathOfUrl(url);
        if (!path.isEmpty())
            files.append(QUrl::fromLocalFile(path));
    }
    // One load for the whole drop: its photos are appended in the order dropped, and loads of
    // further drops queue behind it.
    if (!files.isEmpty())
        m_processor.loadPhotos(files);
    return !files.isEmpty();
}

void LoadFlow::openArguments(const QStringList& paths)
{
    QList<QUrl> urls;
    for (const QString& path : paths) {
        // A plain path keeps bytes that are not UTF-8 (see NativePath.h); a URL is decoded alike.
        const QString local =
            path.contains(QLatin1String("://"))
                ? localPathOfUrl(QUrl::fromUserInput(path, QDir::currentPath(), QUrl::AssumeLocalFile))
                : path;
        if (!local.isEmpty())
            urls.append(QUrl::fromLocalFile(QFileInfo(local).absoluteFilePath()));
    }
    if (!urls.isEmpty())
        m_processor.loadPhotos(urls);
}

} // namespace lumora
