#pragma once

#include "base/Progress.h"

#include <QObject>
#include <QSet>
#include <QUuid>
#include <memory>

namespace lumora {

class Dialogs;
class ImageProcessor;
class VolumeService;

/// The main window's file commands between the toolbar and the final message: warnings and
/// confirmations first, then the long command with its progress and cancellation, then one
/// "Hinweis" message. Every question goes through `Dialogs`; the widgets only call the
/// command methods and show `running()`, `progress()` and `progressText()`.
///
/// Lives on the UI thread. One cancel token serves every command; it is reset when a long
/// command starts.
class CommandFlows : public QObject {
    Q_OBJECT
public:
    enum class Command { none, save, exportJpg, exportPng, deleteFiles, eject };

    CommandFlows(ImageProcessor& processor, Dialogs& dialogs, VolumeService& volumes, QObject* parent = nullptr);

    /// The long command in progress (the overlay shows while it is not `none`).
    [[nodiscard]] Command running() const { return m_running; }
    /// Fraction done of the running command, 0…1.
    [[nodiscard]] double progress() const { return m_progress; }
    /// "Speichere … 40 %", "Exportiere … 40 %" or "Lösche … 40 %".
    [[nodiscard]] QString progressText() const;
    [[nodiscard]] const std::shared_ptr<CancelToken>& cancelToken() const { return m_token; }

    /// Set when a drag started in the grid; the save flow then warns about the order.
    bool orderWasChanged = false;
    /// "Speichern, nicht mehr fragen" was chosen (for this window's life only).
    bool skipWatermarkSaveWarning = false;

    // Commands of the toolbar.
    void save();
    void exportJpg();
    void exportPng();
    /// The delete dialog for `selection` ("Bilder entfernen?").
    void requestDelete(const QSet<QUuid>& selection);
    void restore();
    void eject();
    /// "Abbrechen" of the progress overlay: only asks the running command to stop.
    void cancelRunning();

    /// The text of the generic message that ends a cancelled command.
    [[nodiscard]] static QString cancelledMessage(Command command, const StreamEnd& end);

Q_SIGNALS:
    /// The running command, its progress or the overlay text changed.
    void stateChanged();
    /// The selection must become empty (after taking photos out of the list).
    void selectionCleared();
    /// A command ended and its message was shown.
    void commandFinished();
    /// "Speichern" wrote every photo of the list over its file.
    void everyPhotoSaved();

private:
    void runSave();
    /// Before the first save of a camera RAW file in this window's life: where its JPEG goes.
    void tellOnceAboutRawFiles();
    void runExport(bool png);
    void runDelete(const QSet<QUuid>& selection);
    void follow(Command command, const ProgressStreamPtr& stream);
    void finish(Command command, const StreamEnd& end);
    void showMessage(const QString& message);

    ImageProcessor& m_processor;
    Dialogs& m_dialogs;
    VolumeService& m_volumes;
    bool m_toldAboutRawFiles = false;
    std::shared_ptr<CancelToken> m_token = std::make_shared<CancelToken>();
    Command m_running = Command::none;
    double m_progress = 0;
};

} // namespace lumora
