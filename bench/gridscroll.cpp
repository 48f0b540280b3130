// Frame times of the main window's photo grid while it scrolls through many loaded photos.
//
//   lumora-gridscroll <count> <photo>...     e.g. lumora-gridscroll 500 ~/photos/*.jpg
//
// Links the given photos under numbered names into a temporary folder until there are
// <count> of them, loads them into a real main window (1280 × 760), waits for every render,
// then scrolls the grid from top to bottom and back in 40-point steps, painting each step at
// once and timing it. Run under xvfb-run (xcb) to include putting the frame on the screen,
// or with QT_QPA_PLATFORM=offscreen for the painting alone.
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
#include <QScrollBar>
#include <QSlider>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

using namespace lumora;

namespace {

struct Stats {
    double mean = 0, median = 0, p95 = 0, p99 = 0, max = 0;
    int over16 = 0, frames = 0;
};

Stats statsOf(QList<double> ms)
{
    Stats s;
    if (ms.isEmpty())
        return s;
    std::sort(ms.begin(), ms.end());
    double sum = 0;
    for (double v : ms) {
        sum += v;
        s.over16 += v > 16.7 ? 1 : 0;
    }
    s.frames = int(ms.size());
    s.mean = sum / ms.size();
    s.median = ms[ms.size() / 2];
    s.p95 = ms[qsizetype(ms.size() * 0.95)];
    s.p99 = ms[std::min(ms.size() - 1, qsizetype(ms.size() * 0.99))];
    s.max = ms.last();
    return s;
}

/// One pass over the whole grid, down then up; each step painted at once.
QList<double> scrollPass(PhotoGridView& grid, int step)
{
    QScrollBar* bar = grid.verticalScrollBar();
    QList<double> ms;
    QElapsedTimer timer;
    for (int direction : {+1, -1}) {
        bar->setValue(direction > 0 ? 0 : bar->maximum());
        QCoreApplication::processEvents();
        while (direction > 0 ? bar->value() < bar->maximum() : bar->value() > 0) {
            timer.start();
            bar->setValue(bar->value() + direction * step);
            grid.viewport()->repaint();
            ms.append(timer.nsecsElapsed() / 1e6);
        }
    }
    return ms;
}

void report(const char* label, const Stats& s)
{
    std::printf("%-34s frames %5d  mean %6.2f ms  median %6.2f  p95 %6.2f  p99 %6.2f  max %6.2f  >16.7 ms: %d\n", label,
                s.frames, s.mean, s.median, s.p95, s.p99, s.max, s.over16);
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("LumoraBench"));
    QCoreApplication::setApplicationName(QStringLiteral("lumora-gridscroll"));
    applyDarkLook();
    const QStringList args = QApplication::arguments().mid(1);
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: lumora-gridscroll <count> <photo>...\n");
        return 2;
    }
    const int count = args[0].toInt();
    const QStringList photos = args.mid(1);
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QFileInfo source(photos[i % photos.size()]);
        const QString link =
            dir.filePath(QStringLiteral("%1_%2").arg(i, 4, 10, QLatin1Char('0')).arg(source.fileName()));
        QFile::link(source.absoluteFilePath(), link);
        urls.append(QUrl::fromLocalFile(link));
    }

    WidgetDialogs dialogs;
    NoVolumes volumes;
    LupenFensterManager magnifiers;
    KeySequenceTracker keySequence;
    ContentView window({dialogs, volumes, magnifiers, keySequence});
    window.show();
    QElapsedTimer load;
    load.start();
    bool appended = false;
    window.processor().loadPhotos(urls, [&] { appended = true; });
    while (!appended)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const double thumbnailsMs = load.elapsed();
    while (window.processor().isBusy())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    std::printf("%d photos: cards with thumbnails after %.1f s, every render after %.1f s (%s)\n",
                int(window.processor().photos().size()), thumbnailsMs / 1000, load.elapsed() / 1000.0,
                qPrintable(QGuiApplication::platformName()));

    PhotoGridView& grid = *window.grid();
    // Every tenth photo selected, so selected cards (border, glow, scale) are part of the frames.
    for (qsizetype i = 0; i < window.processor().photos().size(); i += 10)
        window.selection().click(window.processor().photos()[i].id, true);
    for (int cell : {190, 100, 400}) {
        window.cardSizeSlider()->setValue(cell / 10);
        QCoreApplication::processEvents();
        const QByteArray label =
            QStringLiteral("cell %1, %2 columns, first pass").arg(cell).arg(grid.gridLayout().columns()).toUtf8();
        report(label.constData(), statsOf(scrollPass(grid, 40)));
        const QByteArray again = QStringLiteral("cell %1, second pass").arg(cell).toUtf8();
        report(again.constData(), statsOf(scrollPass(grid, 40)));
    }
    return 0;
}
