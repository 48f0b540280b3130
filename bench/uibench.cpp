// The main window's responsiveness with many large photos, driven like a user would.
//
//   xvfb-run -a build/bench/lumora-uibench [--json] FILES...
//
// Shows the real window (1280 × 760), drops all FILES on the grid through its real drop
// handling (a QDropEvent carrying their URLs), then holds the Right arrow key for 3 s (one
// auto-repeated press every 35 ms, from exposure −2) with 1, 20, 60 and all photos selected.
// A timer ticking every 16 ms measures the UI frames: a frame's time is the gap since the tick
// before, so an idle window reads 16 ms and one whose UI thread was busy more.
// Reported: the time to the first card and to the last card of the drop, frame p95 and maximum
// over the load and the holds, the frame p95 of the idle window before the drop (the floor),
// each selection's step p95 (handling one key press), and the resident memory per photo once
// every render is in: after the load ("rss_per_photo_loaded_mb") and after the holds, when
// every photo has been edited ("rss_per_photo_mb"). With --json the last line is one JSON
// object with these figures.
#include "app/KeySequenceTracker.h"
#include "cli/Bench.h"
#include "platform/VolumeService.h"
#include "ui/ContentView.h"
#include "ui/PhotoGridView.h"
#include "ui/Theme.h"
#include "ui/WidgetDialogs.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace lumora;

namespace {

double percentile(QList<double> values, double p)
{
    if (values.isEmpty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, qsizetype(values.size() * p))];
}

/// Runs the event loop until `done` holds (checked after every event; the frame clock's timer
/// wakes it at least every 16 ms). It sleeps between events: the overload of processEvents with
/// a time limit drops WaitForMoreEvents and spins, taking a core from the work measured.
void runUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

/// Frame times of the UI thread: the gaps between ticks of a 16 ms timer. The window paints
/// when something changed (a card arrived, a step); a tick that comes late shows how long the
/// UI thread was busy.
class FrameClock {
public:
    FrameClock()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(16);
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            const qint64 now = m_clock.nsecsElapsed();
            if (m_last >= 0 && m_recording)
                m_frames.append((now - m_last) / 1e6);
            m_last = now;
        });
        m_clock.start();
        m_timer.start();
    }
    void record(bool on)
    {
        m_recording = on;
        m_last = -1;
        if (on && m_phaseStart < 0) {
            m_phaseStart = m_clock.nsecsElapsed();
            m_phaseCpu = threadCpuNs();
        }
    }
    [[nodiscard]] const QList<double>& frames() const { return m_frames; }
    /// Prints p95 and maximum of the frames since the last call (for the text report), and the
    /// share of that time the UI thread spent on a core: less noisy than frame times when
    /// comparing two builds.
    void reportPhase(const char* label)
    {
        const QList<double> phase = m_frames.mid(m_reported);
        m_reported = m_frames.size();
        const double busy = double(threadCpuNs() - m_phaseCpu) / double(m_clock.nsecsElapsed() - m_phaseStart);
        m_phaseStart = -1;
        std::printf("  frames while %s: %lld, p95 %.2f ms, max %.2f ms, UI thread busy %.1f %%\n", label,
                    static_cast<long long>(phase.size()), percentile(phase, 0.95), percentile(phase, 1.0), 100 * busy);
    }

private:
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = -1;
    bool m_recording = false;
    QList<double> m_frames;
    qsizetype m_reported = 0;
    qint64 m_phaseStart = -1;
    qint64 m_phaseCpu = 0;

    static qint64 threadCpuNs()
    {
        timespec now{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
        return qint64(now.tv_sec) * 1'000'000'000 + now.tv_nsec;
    }
};

/// Holds Right for `ms` milliseconds with `ids` selected; returns each press's handling time.
QList<double> holdRight(ContentView& window, const QList<QUuid>& ids, int ms)
{
    window.selection().selectAll(ids);
    AdjustmentState start = window.adjustments().uiAdjustment();
    start.exposure = -2;
    window.adjustments().setUiAdjustment(start);
    runUntil([&] { return !window.processor().isBusy(); });
    QList<double> steps;
    QElapsedTimer hold;
    hold.start();
    QTimer repeat;
    repeat.setTimerType(Qt::PreciseTimer);
    repeat.setInterval(35);
    QObject::connect(&repeat, &QTimer::timeout, [&] {
        QKeyEvent press(QEvent::KeyPress, Qt::Key_Right, Qt::NoModifier, QString(), !steps.isEmpty());
        QElapsedTimer step;
        step.start();
        QCoreApplication::sendEvent(&window, &press);
        steps.append(step.nsecsElapsed() / 1e6);
    });
    repeat.start();
    runUntil([&] { return hold.elapsed() >= ms; });
    repeat.stop();
    QKeyEvent release(QEvent::KeyRelease, Qt::Key_Right, Qt::NoModifier);
    QCoreApplication::sendEvent(&window, &release);
    return steps;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("LumoraBench"));
    QCoreApplication::setApplicationName(QStringLiteral("lumora-uibench"));
    applyDarkLook();
    QStringList args = QApplication::arguments().mid(1);
    const bool json = args.removeAll(QStringLiteral("--json")) > 0;
    if (args.isEmpty()) {
        std::fprintf(stderr, "usage: lumora-uibench [--json] FILES...\n");
        return 2;
    }
    QList<QUrl> urls;
    for (const QString& path : args)
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));

    WidgetDialogs dialogs;
    NoVolumes volumes;
    LupenFensterManager magnifiers;
    KeySequenceTracker keySequence;
    ContentView window({dialogs, volumes, magnifiers, keySequence});
    window.show();
    runUntil([&] { return window.isVisible() && window.grid()->framesPainted() > 0; });
    ImageProcessor& processor = window.processor();
    // The floor: the same clock on the empty, idle window for 2 s. Timer wake-ups alone come a
    // little late, so no run can read better than this.
    double idleP95 = 0;
    {
        FrameClock idle;
        idle.record(true);
        QElapsedTimer wait;
        wait.start();
        runUntil([&] { return wait.elapsed() >= 2000; });
        idleP95 = percentile(idle.frames(), 0.95);
        if (!json)
            idle.reportPhase("idle");
    }
    FrameClock frames;

    // The drop, through the grid's own drag and drop handling.
    QElapsedTimer load;
    double firstCardMs = -1, allCardsMs = -1;
    QObject::connect(&processor, &ImageProcessor::photosChanged, [&](const PhotoChanges& changes) {
        if (changes.appended.isEmpty())
            return;
        if (firstCardMs < 0)
            firstCardMs = load.nsecsElapsed() / 1e6;
        if (processor.photos().size() == urls.size())
            allCardsMs = load.nsecsElapsed() / 1e6;
    });
    frames.record(true);
    load.start();
    QMimeData mime;
    mime.setUrls(urls);
    QWidget* target = window.grid()->viewport();
    QDragEnterEvent enter(QPoint(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(40, 40), Qt::CopyAction, &mime, Qt::LeftButton, {});
    QCoreApplication::sendEvent(target, &drop);
    runUntil([&] { return processor.loadProgress().total == 0 && !processor.photos().isEmpty(); });
    if (allCardsMs < 0)
        allCardsMs = load.nsecsElapsed() / 1e6; // some files were skipped
    runUntil([&] { return !processor.isBusy(); });
    const double previewsMs = load.nsecsElapsed() / 1e6;
    const int photos = int(processor.photos().size());
    const double rssLoadedPerPhoto = residentMegabytes() / std::max(1, photos);
    if (!json)
        frames.reportPhase("loading");
    if (!json)
        std::printf("%d photos: first card %.0f ms, all cards %.0f ms, all previews %.0f ms, %.1f MB resident per "
                    "photo\n",
                    photos, firstCardMs, allCardsMs, previewsMs, rssLoadedPerPhoto);

    QJsonObject stepP95;
    for (const int count : {1, 20, 60, -1}) {
        QList<QUuid> ids;
        for (const PhotoItem& photo : processor.photos()) {
            if (count < 0 || ids.size() < count)
                ids.append(photo.id);
        }
        frames.record(false); // setting up the selection is not part of the hold
        window.selection().selectAll({});
        frames.record(true);
        const QList<double> steps = holdRight(window, ids, 3000);
        const QString key = count < 0 ? QStringLiteral("all") : QString::number(count);
        stepP95.insert(key, percentile(steps, 0.95));
        if (!json)
            frames.reportPhase("holding");
        if (!json)
            std::printf("hold Right with %lld selected: %lld steps, p95 %.2f ms, max %.2f ms\n",
                        static_cast<long long>(ids.size()), static_cast<long long>(steps.size()),
                        percentile(steps, 0.95), percentile(steps, 1.0));
    }
    // Every photo edited: each keeps its display-size decode for further steps.
    runUntil([&] { return !processor.isBusy(); });
    const double rssPerPhoto = residentMegabytes() / std::max(1, photos);
    if (!json)
        std::printf("after the holds: %.1f MB resident per photo\n", rssPerPhoto);
    const QList<double>& all = frames.frames();
    const QJsonObject result{{QStringLiteral("photos"), photos},
                             {QStringLiteral("first_card_ms"), firstCardMs},
                             {QStringLiteral("all_cards_ms"), allCardsMs},
                             {QStringLiteral("frame_p95_ms"), percentile(all, 0.95)},
                             {QStringLiteral("frame_max_ms"), percentile(all, 1.0)},
                             {QStringLiteral("idle_frame_p95_ms"), idleP95},
                             {QStringLiteral("step_p95_ms"), stepP95},
                             {QStringLiteral("rss_per_photo_mb"), rssPerPhoto},
                             {QStringLiteral("rss_per_photo_loaded_mb"), rssLoadedPerPhoto}};
    if (!json)
        std::printf("frames: %lld, p95 %.2f ms, max %.2f ms\n", static_cast<long long>(all.size()),
                    percentile(all, 0.95), percentile(all, 1.0));
    else
        std::printf("%s\n", QJsonDocument(result).toJson(QJsonDocument::Compact).constData());
    return 0;
}
