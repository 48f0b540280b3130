// The editor sheet on 24 MP photos: first paint, one drag step's repaint, commits, typing, and memory.
//
//   lumora-editorbench <photo.jpg> [<photo.jpg>...]
//
// On the first photo: opens the real sheet (1280 × 760 window) and times (a) opening until the
// canvas is painted with the photo's preview and until the sharp editor preview is painted,
// (b) one drag step of a rectangle and of a freehand line, each painted at once, (c) the commit
// of a rectangle and of a stroke: how long the pointer is blocked and how long until the new
// preview is painted, (d) typing into a new text mark: each keystroke with its repaint. Then,
// for every photo given, closes an editor with one text mark on it (the originals are baked in
// the background) and reports the resident memory before and after.
// Run under xvfb-run (xcb) or with QT_QPA_PLATFORM=offscreen.
#include "base/UiThread.h"
#include "model/ImageProcessor.h"
#include "platform/Dialogs.h"
#include "ui/Theme.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/TextMarkLayer.h"
#include "ui/editor/ZoomableImageEditor.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <cstdio>

using namespace lumora;

namespace {

class NoDialogs : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderPanelRequest&) override { return std::nullopt; }
    QStringList chooseFiles(const OpenPanelRequest&) override { return {}; }
    std::optional<int> ask(const QuestionRequest&) override { return std::nullopt; }
    void inform(const QString&, const QString&) override {}
    std::optional<QString> chooseColor(const ColorPanelRequest&) override { return std::nullopt; }
};

double ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

void waitUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
}

double residentMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    }
    return 0;
}

double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

void move(QWidget* canvas, QPointF p)
{
    QMouseEvent event(QEvent::MouseMove, p, canvas->mapToGlobal(p), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &event);
}

void press(QWidget* canvas, QPointF p, bool down)
{
    QMouseEvent event(down ? QEvent::MouseButtonPress : QEvent::MouseButtonRelease, p, canvas->mapToGlobal(p),
                      Qt::LeftButton, down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(canvas, &event);
}

/// Times the steps of a drag from `from` to `to`: the move and the repaint of the area it
/// changed, painted at once.
QList<double> dragSteps(EditorCanvas* canvas, QPointF from, QPointF to, int steps)
{
    QList<double> times;
    press(canvas, from, true);
    QCoreApplication::processEvents();
    for (int i = 1; i <= steps; ++i) {
        QElapsedTimer t;
        t.start();
        move(canvas, from + (to - from) * (double(i) / steps));
        canvas->repaint(canvas->lastDirtyRect());
        times.append(ms(t));
    }
    return times;
}

/// How long `commit` blocks, and how long until the preview it causes is painted.
std::pair<double, double> timeCommit(EditorController& editor, const std::function<void()>& commit)
{
    bool arrived = false;
    const auto connection = QObject::connect(&editor, &EditorController::previewChanged, [&] { arrived = true; });
    QElapsedTimer t;
    t.start();
    commit();
    const double blocked = ms(t);
    waitUntil([&] { return arrived; });
    QCoreApplication::processEvents();
    QObject::disconnect(connection);
    return {blocked, ms(t)};
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    applyDarkLook();
    QList<QUrl> urls;
    for (int i = 1; i < argc; ++i)
        urls.append(QUrl::fromLocalFile(QString::fromLocal8Bit(argv[i])));
    if (urls.isEmpty()) {
        std::fprintf(stderr, "usage: lumora-editorbench <photo.jpg>...\n");
        return 2;
    }
    ImageProcessor processor;
    NoDialogs dialogs;
    LupenFensterManager magnifiers;
    bool loaded = false;
    processor.loadPhotos(urls, [&] { loaded = true; });
    waitUntil([&] { return loaded && !processor.isBusy(); });
    if (processor.photos().isEmpty())
        return 1;
    const QUuid first = processor.photos().first().id;

    // (a) opening
    QElapsedTimer open;
    open.start();
    auto* sheet = new ZoomableImageEditor(processor, first, dialogs, magnifiers, {1280, 760});
    sheet->show();
    sheet->canvas()->repaint();
    const double firstPaint = ms(open);
    EditorController& editor = sheet->editor();
    waitUntil([&] { return editor.editorPreview().has_value(); });
    sheet->canvas()->repaint();
    const double sharpPaint = ms(open);
    std::printf("open: first paint %.1f ms, sharp preview painted %.1f ms (preview %dx%d)\n", firstPaint, sharpPaint,
                editor.editorPreview()->width(), editor.editorPreview()->height());

    // (b) drag steps
    EditorCanvas* canvas = sheet->canvas();
    QElapsedTimer full;
    full.start();
    for (int i = 0; i < 10; ++i)
        canvas->repaint();
    std::printf("whole canvas repaint: %.2f ms\n", ms(full) / 10);
    const QRectF f = editor.mapping().fittedRect();
    const auto at = [&](double x, double y) { return f.topLeft() + QPointF(x * f.width(), y * f.height()); };
    const QList<double> rectSteps = dragSteps(canvas, at(0.1, 0.1), at(0.5, 0.5), 60);
    press(canvas, at(0.5, 0.5), false);
    std::printf("drag step, rectangle: median %.2f ms, max %.2f ms\n", median(rectSteps),
                *std::max_element(rectSteps.begin(), rectSteps.end()));

    // (c) commits
    const auto [rectBlocked, rectShown] = timeCommit(editor, [&] { editor.setMode(DrawingMode::freehand); });
    std::printf("commit rectangle: pointer blocked %.1f ms, new preview painted %.1f ms\n", rectBlocked, rectShown);
    const QList<double> strokeSteps = dragSteps(canvas, at(0.2, 0.8), at(0.8, 0.3), 60);
    std::printf("drag step, freehand: median %.2f ms, max %.2f ms\n", median(strokeSteps),
                *std::max_element(strokeSteps.begin(), strokeSteps.end()));
    const auto [strokeBlocked, strokeShown] = timeCommit(editor, [&] { press(canvas, at(0.8, 0.3), false); });
    std::printf("commit stroke: pointer blocked %.1f ms, new preview painted %.1f ms\n", strokeBlocked, strokeShown);
    dragSteps(canvas, at(0.3, 0.8), at(0.7, 0.2), 20);
    const auto [again, againShown] = timeCommit(editor, [&] { press(canvas, at(0.7, 0.2), false); });
    std::printf("commit second stroke: pointer blocked %.1f ms, new preview painted %.1f ms\n", again, againShown);

    // (d) typing into a text mark: each keystroke and the repaint of what it changed (the
    // field grows over the canvas), painted at once.
    editor.setMode(DrawingMode::text);
    QCoreApplication::processEvents();
    auto* field = sheet->findChild<TextMarkField*>();
    press(canvas, at(0.3, 0.4), true);
    press(canvas, at(0.3, 0.4), false);
    waitUntil([&] { return field->hasFocus() || field->isVisible(); });
    QCoreApplication::processEvents();
    QList<double> keys;
    const QString typed = QStringLiteral("Hafen am Abend mit Mole und Leuchtturm");
    for (QChar c : typed) {
        const QRect before = field->geometry();
        QElapsedTimer t;
        t.start();
        QKeyEvent down(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &down);
        canvas->repaint(before.united(field->geometry()));
        keys.append(ms(t));
        QKeyEvent up(QEvent::KeyRelease, 0, Qt::NoModifier, QString(c));
        QCoreApplication::sendEvent(field, &up);
    }
    std::printf("keystroke into a text mark, with its repaint: median %.2f ms, max %.2f ms (%lld keys)\n", median(keys),
                *std::max_element(keys.begin(), keys.end()), qlonglong(keys.size()));
    if (field->text() != typed)
        std::fprintf(stderr, "the keystrokes did not reach the text field\n");
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(field, &enter);
    if (processor.photo(first)->edits.textMarks.isEmpty()
        || processor.photo(first)->edits.textMarks.last().text != typed)
        std::fprintf(stderr, "the typed text was not stored\n");

    sheet->editor().close();
    waitUntil([&] { return !processor.isBusy(); });
    workPool().waitForDone();
    QCoreApplication::processEvents();

    // (e) closing editors with text marks: the bakes run on the pool while a 16 ms timer ticks on
    // the UI thread (a frame's lateness is how late its tick came); then the memory.
    const double before = residentMiB();
    QList<double> late;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setInterval(16);
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        if (sinceTick.isValid())
            late.append(std::max(0.0, ms(sinceTick) - 16));
        sinceTick.start();
    });
    ticker.start();
    for (const PhotoItem& photo : QList<PhotoItem>(processor.photos())) {
        TextMark mark;
        mark.position = QPointF(photo.originalCI.size().width() / 2.0, photo.originalCI.size().height() / 2.0);
        mark.text = QStringLiteral("Lumora");
        mark.fontSize = 200;
        mark.colorHex = QStringLiteral("#FFFFFF");
        EditState edits = photo.edits;
        edits.textMarks = {mark};
        processor.setEdits(photo.id, edits);
        EditorController closing(processor, photo.id, dialogs);
        bool dismissed = false;
        QObject::connect(&closing, &EditorController::dismissRequested, [&] { dismissed = true; });
        closing.close();
        waitUntil([&] { return dismissed; });
    }
    waitUntil([&] { return !processor.isBusy(); });
    ticker.stop();
    workPool().waitForDone();
    QCoreApplication::processEvents();
    const double after = residentMiB();
    std::printf("closing with text marks: UI timer late by median %.1f ms, max %.1f ms over %lld ticks\n", median(late),
                late.isEmpty() ? 0.0 : *std::max_element(late.begin(), late.end()), qlonglong(late.size()));
    std::printf("memory: %.0f MiB before, %.0f MiB after closing %lld editors with text marks (%.1f MiB per photo)\n",
                before, after, qlonglong(processor.photos().size()),
                (after - before) / double(processor.photos().size()));
    return 0;
}
