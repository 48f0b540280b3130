#pragma once

#include "platform/Dialogs.h"

#include <QByteArray>
#include <QObject>
#include <QStringList>
#include <optional>

class QSocketNotifier;

namespace lumora {

class ImageProcessor;
class PhotoSelection;
class SessionJournal;

/// Lines of text from standard input, read without C stdio buffering, so the same stream can be
/// read both as lines arrive (the event loop) and while blocked (a question being answered).
class StdinLines {
public:
    /// The next whole line, waiting for it; none at the end of input.
    [[nodiscard]] std::optional<QByteArray> next();
    /// The next whole line if one has arrived; reads what is available without waiting.
    [[nodiscard]] std::optional<QByteArray> poll();
    [[nodiscard]] bool ended() const { return m_ended; }

private:
    [[nodiscard]] std::optional<QByteArray> take();
    void read(bool wait);
    QByteArray m_buffer;
    bool m_ended = false;
};

/// Questions answered from standard input: each question is printed as "ask <message>" (line
/// breaks printed as "|", as in the messages below) and the
/// line "answer <button text>" that follows chooses a button ("answer" alone dismisses). Messages
/// are printed as "inform <title>: <message>"; panels are cancelled.
class DrivenDialogs : public Dialogs {
public:
    explicit DrivenDialogs(StdinLines& lines) : m_lines(lines) {}
    std::optional<QString> chooseFolder(const FolderPanelRequest&) override { return std::nullopt; }
    QStringList chooseFiles(const OpenPanelRequest&) override { return {}; }
    std::optional<int> ask(const QuestionRequest& request) override;
    void inform(const QString& title, const QString& message) override;
    std::optional<QString> chooseColor(const ColorPanelRequest&) override { return std::nullopt; }

private:
    StdinLines& m_lines;
};

/// Drives a running app from its standard input, for tests that start the real program and
/// kill it (`LUMORA_DRIVE=1`; off otherwise). One command a line, one reply line each on
/// standard output, in order:
///   load PATH...          loads the photos          → "loaded <count>"
///   select INDEX...       sets the selection        → "ok"; "failed kein Foto INDEX" for an
///                         index not in the grid (the selection is then unchanged)
///   adjust E B C S SH     the adjustment of the selection (a slider step) → "ok"
///   rotate left|right, flip h|v                      → "ok"
///   add JSON              appends the masks, overlays and text marks of an edits file (the
///                         lumora-cli format) to each selected photo's edits and sets its
///                         watermark when it has one, as a commit → "ok"
///   bake                  bakes the first selected photo's edits into a new original → "ok"
///   crop X Y W H          gives the first selected photo its original cut to the rectangle
///                         (pixels, top-left origin) as a new original → "ok"
///                         (bake and crop: "failed kein Foto ausgewählt" when no selected photo
///                         is still there; add passes over the ones removed since)
///   settle                waits until renders are in and the journal has written → "settled"
///   state                 → "state <JSON: per photo its file name, original size and edits>"
///   export FOLDER [N]     the numbered JPEG export of every photo → "exported" or "failed <why>";
///                         with N, cancelled once N photos are written → "cancelled <written>"
///   quit                  ends the app cleanly
class ScriptDriver : public QObject {
    Q_OBJECT
public:
    ScriptDriver(StdinLines& lines, ImageProcessor& processor, PhotoSelection& selection, SessionJournal* journal,
                 QObject* parent = nullptr);

private:
    void readable();
    void run(const QByteArray& line);
    void addEdits(const QByteArray& json);
    void settle();

    StdinLines& m_lines;
    ImageProcessor& m_processor;
    PhotoSelection& m_selection;
    SessionJournal* m_journal;
    QSocketNotifier* m_notifier;
    bool m_busy = false;         ///< a command waits for background work; later lines wait
    QList<QByteArray> m_waiting; ///< lines read while busy
};

/// Writes one reply line to standard output at once.
void driverReply(const QString& line);

} // namespace lumora
