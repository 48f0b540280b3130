// The batch crop on many large photos, against the decode + encode floor of the same files, and
// how the window keeps painting while it runs.
//
//   lumora-cropbench [--overwrite] <count> <photo.jpg>...     e.g. lumora-cropbench 50 ~/photos/*.jpg
//
// Links the given photos under numbered names into a temporary folder until there are <count>
// of them (copies them with --overwrite) and loads them. (a) The floor: every file decoded at full
// size and encoded as JPEG at the crop's quality, one after another on one thread. (b) The batch
// crop of all of them with the whole image as the region, so both write the same pixels: as copies,
// or with --overwrite over the originals, which then get the written files as new originals and
// their display renders (the run ends when those are in too). While (b) runs, a window repaints
// every 16 ms; a frame's time is how late its tick came plus its painting (the 95th percentile and
// the worst are printed). Run under xvfb-run (xcb) or QT_QPA_PLATFORM=offscreen.
#include "fileops/BatchCrop.h"
#include "fileops/FolderBookmarkStore.h"
#include "model/ImageProcessor.h"
#include "pipeline/Encoders.h"
#include "pipeline/SourceImage.h"
#include "platform/Dialogs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QWidget>
#include <algorithm>
#include <cstdio>

using namespace lumora;

namespace {

/// Confirms every folder panel with the folder it asks for.
class GrantingDialogs : public Dialogs {
public:
    std::optional<QString> chooseFolder(const FolderPanelRequest& request) override
    {
        return request.onlyAllowedFolder ? request.onlyAllowedFolder : std::optional(request.startFolder);
    }
    QStringList chooseFiles(const OpenPanelRequest&) override { return {}; }
    std::optional<int> ask(const QuestionRequest&) override { return std::nullopt; }
    void inform(const QString&, const QString&) override {}
    std::optional<QString> chooseColor(const ColorPanelRequest&) override { return std::nullopt; }
};

/// A window with some text and a gradient, painted at once whenever asked.
class Frame : public QWidget {
protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        QLinearGradient gradient(0, 0, width(), height());
        gradient.setColorAt(0, QColor(40, 40, 44));
        gradient.setColorAt(1, QColor(++m_tick % 255, 90, 120));
        painter.fillRect(rect(), gradient);
        painter.setPen(Qt::white);
        painter.drawText(rect(), Qt::AlignCenter, QStringLiteral("Zuschneiden … %1").arg(m_tick));
    }

private:
    int m_tick = 0;
};

double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5))];
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool overwrite = argc > 1 && QByteArray(argv[1]) == "--overwrite";
    if (overwrite) {
        --argc;
        ++argv;
    }
    if (argc < 3) {
        std::fprintf(stderr, "usage: lumora-cropbench [--overwrite] <count> <photo.jpg>...\n");
        return 2;
    }
    const int count = std::max(1, std::atoi(argv[1]));
    QTemporaryDir dir;
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString source = QFileInfo(QString::fromLocal8Bit(argv[2 + i % (argc - 2)])).absoluteFilePath();
        const QString path = dir.filePath(QStringLiteral("photo%1.jpg").arg(i + 1, 3, 10, QLatin1Char('0')));
        if (!(overwrite ? QFile::copy(source, path) : QFile::link(source, path)))
            return 1;
        urls << QUrl::fromLocalFile(path);
    }

    // (a) the floor
    QElapsedTimer floorTimer;
    floorTimer.start();
    for (const QUrl& url : urls) {
        auto source = SourceImage::fromFile(url.toLocalFile());
        auto pixels = source ? source->decode() : std::expected<QImage, Error>();
        if (!pixels)
            return 1;
        const QRectF extent(0, 0, pixels->width(), pixels->height());
        if (!encodeJPEG(Image{*pixels, extent}, 0.95))
            return 1;
    }
    const double floorMs = double(floorTimer.elapsed());

    ImageProcessor processor;
    bool appended = false;
    processor.loadPhotos(urls, [&] { appended = true; });
    while (!appended || processor.isBusy())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    // (b) the batch crop, with the window painting
    GrantingDialogs dialogs;
    FolderBookmarkStore folders(dialogs, dir.filePath(QStringLiteral("grants.ini")));
    Frame frame;
    frame.resize(800, 500);
    frame.show();
    std::vector<double> frameTimes;
    QElapsedTimer sinceFrame;
    QTimer ticker;
    ticker.setInterval(16);
    ticker.setTimerType(Qt::PreciseTimer);
    // A frame's time: how late the tick came (the UI thread was busy) plus painting it.
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const double late = sinceFrame.isValid() ? std::max(0.0, double(sinceFrame.nsecsElapsed()) / 1e6 - 16) : 0;
        sinceFrame.start();
        QElapsedTimer paint;
        paint.start();
        frame.repaint();
        frameTimes.push_back(late + double(paint.nsecsElapsed()) / 1e6);
    });
    QSet<QUuid> ids;
    for (const PhotoItem& photo : processor.photos())
        ids.insert(photo.id);
    QEventLoop loop;
    BatchCropResult result;
    QElapsedTimer cropTimer;
    cropTimer.start();
    ticker.start();
    batchCrop(processor, ids, {0, 0, 1, 1}, overwrite, folders, [&](BatchCropResult r) {
        result = std::move(r);
        loop.quit();
    });
    loop.exec();
    const double cropMs = double(cropTimer.elapsed());
    while (processor.isBusy()) // the new originals' display renders
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double rendersMs = double(cropTimer.elapsed());
    ticker.stop();

    std::printf("photos: %d (%d written, %lld failed)\n", count, result.erfolgreich,
                static_cast<long long>(result.fehler.size()));
    std::printf("decode + encode floor: %.0f ms per photo\n", floorMs / count);
    std::printf("batch crop%s:            %.0f ms per photo (%.2f x floor)\n", overwrite ? " (overwriting)" : "",
                cropMs / count, cropMs / floorMs);
    if (overwrite)
        std::printf("new originals' display renders in after %.0f ms\n", rendersMs - cropMs);
    std::printf("frame times while cropping: p95 %.1f ms, worst %.1f ms, %zu frames\n", percentile(frameTimes, 0.95),
                percentile(frameTimes, 1.0), frameTimes.size());
    return result.erfolgreich == count ? 0 : 1;
}
