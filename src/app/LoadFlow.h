#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <functional>

namespace lumora {

class Dialogs;
class ImageProcessor;

/// Where the open panel may start, apart from the stored "LastUsedVolumePath".
struct LoadPlaces {
    /// The removable-media roots, in order of preference (here `/run/media/$USER`,
    /// `/media/$USER`, `/media`).
    QStringList removableRoots;
    /// The user's Desktop folders (the first one counts).
    QStringList desktopFolders;
    /// Whether a file or folder exists at a path.
    std::function<bool(const QString&)> exists;

    /// This machine's places.
    [[nodiscard]] static LoadPlaces system();
};

/// Bringing photos into the window: the open panel ("Öffnen", Ctrl+O) with its start folder
/// and the remembered "LastUsedVolumePath", the "Fotos laden" question when photos are already
/// there, and files dropped on the grid or handed over on the command line (loaded at once,
/// without a question and without touching "LastUsedVolumePath"). UI thread only.
class LoadFlow {
public:
    LoadFlow(ImageProcessor& processor, Dialogs& dialogs, LoadPlaces places = LoadPlaces::system());

    /// The folder the open panel starts in: the stored "LastUsedVolumePath" when something
    /// exists there, else the first removable-media root that exists, else the first Desktop
    /// folder, else empty (the panel's own default).
    [[nodiscard]] QString startFolder() const;

    /// The whole open command: panel, remembering the folder two levels above the first file,
    /// then loading (or asking first when photos are already loaded).
    void open();

    /// What the "Fotos laden" question decided.
    enum class Choice { add, replace, cancel };
    /// Loads `pendingLoadURLs` as `choice` says, then empties it.
    void resolve(Choice choice);
    [[nodiscard]] const QList<QUrl>& pendingLoadURLs() const { return m_pending; }

    /// Files dropped on the grid: one load for the drop, appended in the order dropped, after
    /// the photos of any load still running. Non-file URLs are skipped. Returns whether any
    /// file was among them.
    bool drop(const QList<QUrl>& urls);
    /// Files given on the command line ("Open with"): loaded like a drop, in one task so they
    /// keep the given order.
    void openArguments(const QStringList& paths);

    /// The path stored for `firstFile`: its folder's parent (for a camera file in
    /// DCIM/100XXXXX, the DCIM folder).
    [[nodiscard]] static QString volumePathFor(const QString& firstFile);

private:
    ImageProcessor& m_processor;
    Dialogs& m_dialogs;
    LoadPlaces m_places;
    QList<QUrl> m_pending;
};

} // namespace lumora
