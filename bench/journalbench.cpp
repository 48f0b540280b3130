// lumora-journalbench: the session journal on many photos. The UI thread's cost per change while
// a slider moves with every photo selected, the journal's bytes per photo without and with
// overlays, and restoring the photos against loading them, in the same run.
//   QT_QPA_PLATFORM=offscreen lumora-journalbench $(bench/make-photo-set.sh 60)/*.jpg
#include "app/PhotoSelection.h"
#include "app/SessionJournal.h"
#include "app/SessionRestore.h"
#include "model/ImageProcessor.h"
#include "platform/Dialogs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QSignalBlocker>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace lumora;

namespace {

/// Answers the restore question with its first button ("Wiederherstellen").
class Restore : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderPanelRequest&) override { return std::nullopt; }
    QStringList chooseFiles(const OpenPanelRequest&) override { return {}; }
    std::optional<int> ask(const QuestionRequest&) override { return 0; }
    void inform(const QString&, const QString& message) override { std::printf("message: %s\n", qPrintable(message)); }
    std::optional<QString> chooseColor(const ColorPanelRequest&) override { return std::nullopt; }
};

void waitUntil(const std::function<bool()>& done)
{
    while (!done())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

double percentile(std::vector<double> values, double p)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(p * double(values.size())))];
}

/// Loads the photos into `processor` until every display render is in; seconds.
double timedLoad(ImageProcessor& processor, const QList<QUrl>& urls)
{
    QElapsedTimer timer;
    timer.start();
    bool loaded = false;
    processor.loadPhotos(urls, [&] { loaded = true; });
    waitUntil([&] { return loaded && !processor.isBusy(); });
    return double(timer.nsecsElapsed()) / 1e9;
}

qint64 bytesOf(const QString& folder, const QString& pattern)
{
    qint64 bytes = 0;
    for (const QFileInfo& file : QDir(folder).entryInfoList({pattern}, QDir::Files))
        bytes += file.size();
    return bytes;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString& path : QCoreApplication::arguments().mid(1))
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    if (urls.isEmpty()) {
        std::fprintf(stderr, "usage: lumora-journalbench PHOTO...\n");
        return 2;
    }
    QTemporaryDir state;
    const JournalFolder folder(state.path() + QStringLiteral("/session"));
    const int n = int(urls.size());

    // --- loading, and the slider on every photo ---
    qint64 now = 0;
    auto processor = std::make_unique<ImageProcessor>();
    PhotoSelection selection;
    auto journal = std::make_unique<SessionJournal>(*processor, selection, folder, [&] { return now; });
    const double load1 = timedLoad(*processor, urls);
    QList<QUuid> ids;
    for (const PhotoItem& photo : processor->photos())
        ids.append(photo.id);
    selection.selectAll(ids);
    const QSet<QUuid> all(ids.begin(), ids.end());

    // 60 steps a second for five seconds. The processor's own work runs with its signal blocked;
    // the journal's part, the change handed to it and the write when one is due, is timed alone.
    std::vector<double> perChange;
    QElapsedTimer timer;
    for (int step = 0; step < 300; ++step, now += 16) {
        const AdjustmentState adjustment{0.002 * step, 0, 1, 1, 0};
        {
            const QSignalBlocker quiet(processor.get());
            processor->applyAdjustment(adjustment, all);
        }
        timer.start();
        Q_EMIT processor->photosChanged(PhotoChanges{{}, {}, {}, ids, false});
        journal->tick();
        perChange.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    journal->waitForWrites();
    const qint64 plainBytes = bytesOf(folder.path(), QStringLiteral("photo-*.json"));
    const int writes = journal->photoWrites();

    // Overlays on every photo: a rectangle, two strokes, an arrow and a text mark.
    for (const PhotoItem& photo : processor->photos()) {
        EditState edits = photo.edits;
        const QSizeF s(photo.originalCI.size());
        edits.masks.append(MaskRect{QRectF(s.width() * 0.1, s.height() * 0.1, 400, 200), QStringLiteral("#000000")});
        for (int k = 0; k < 2; ++k) {
            QList<QPointF> points;
            for (int i = 0; i < 200; ++i)
                points.append({s.width() * (0.2 + 0.003 * i), s.height() * (0.5 + 0.1 * k + 0.05 * std::sin(i * 0.2))});
            edits.freehandOverlays.append(
                Overlay{StrokeShape{points, QStringLiteral("#FF3B30"), 12}, photo.originalCI.size()});
        }
        edits.freehandOverlays.append(
            Overlay{Arrow{{s.width() * 0.6, s.height() * 0.3}, 0.5, 300, 10, QStringLiteral("#FF3B30")},
                    photo.originalCI.size()});
        TextMark mark;
        mark.position = {s.width() / 2, s.height() / 2};
        mark.text = QStringLiteral("Kratzer");
        mark.fontSize = 60;
        mark.colorHex = QStringLiteral("#FFFFFF");
        edits.textMarks.append(mark);
        processor->setEdits(photo.id, edits);
    }
    now += 2000;
    journal->tick();
    journal->waitForWrites();
    const qint64 overlayBytes = bytesOf(folder.path(), QStringLiteral("photo-*.json"));
    waitUntil([&] { return !processor->isBusy(); });

    // A crash: the journal stays; the next session restores it.
    journal.reset();
    processor.reset();

    Restore answers;
    // Restore and load alternate, twice each, so both see the same load of the machine.
    qsizetype restoredCount = 0;
    const auto timedRestore = [&] {
        ImageProcessor restoring;
        PhotoSelection restoredSelection;
        SessionJournal next(restoring, restoredSelection, folder); // goes before the processor it follows
        timer.start();
        bool restored = false;
        (void)offerRestore(folder, answers, restoring, restoredSelection, next, [&] { restored = true; });
        waitUntil([&] { return restored && !restoring.isBusy(); });
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        restoredCount = restoring.photos().size();
        next.waitForWrites(); // the journal stays for the next round, as after a crash
        return seconds;
    };
    const double restore1 = timedRestore();
    double load2 = 0;
    {
        ImageProcessor again;
        load2 = timedLoad(again, urls);
    }
    const double restore2 = timedRestore();
    const double load = (load1 + load2) / 2;
    const double restore = (restore1 + restore2) / 2;

    std::printf("photos: %d\n", n);
    std::printf("UI thread per change (journal, %d photos selected): p50 %.3f ms, p95 %.3f ms, max %.3f ms\n", n,
                percentile(perChange, 0.5), percentile(perChange, 0.95), percentile(perChange, 1.0));
    std::printf("photo records written during 300 slider steps (5 s): %d (%.1f per photo)\n", writes,
                double(writes) / n);
    std::printf("journal bytes per photo: %.0f (adjustment), %.0f (with 2 strokes of 200 points, a rectangle, an "
                "arrow, a text mark)\n",
                double(plainBytes) / n, double(overlayBytes) / n);
    std::printf("load %d photos: %.2f s, %.2f s; restore with overlays: %.2f s, %.2f s (%lld restored); "
                "ratio of the means %.2f\n",
                n, load1, load2, restore1, restore2, qlonglong(restoredCount), restore / load);
    return 0;
}
