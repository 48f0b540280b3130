#include "ScreenshotMode.h"

#include "ui/ContentView.h"
#include "ui/InfoSheet.h"

#include <QApplication>
#include <QDir>
#include <QScreen>
#include <QTimer>
#include <QWindow>

namespace lumora {

namespace {

/// The window as it is on screen, sheets on top included.
QImage grabScreenArea(QWidget& window)
{
    QScreen* screen = window.screen();
    const QRect frame = window.frameGeometry();
    QPixmap shot = screen->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (shot.isNull())
        shot = window.grab();
    return shot.toImage();
}

void after(int ms, QObject* context, std::function<void()> step)
{
    QTimer::singleShot(ms, context, std::move(step));
}

} // namespace

void startScreenshots(ContentView& window, const QString& folder)
{
    QDir().mkpath(folder);
    auto* poll = new QTimer(&window);
    poll->setInterval(200);
    auto started = std::make_shared<bool>(false);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, folder, poll, started] {
        // Wait for the first photo, then for every render to arrive.
        if (window.processor().photos().isEmpty() || window.processor().isBusy())
            return;
        poll->stop();
        const QList<PhotoItem>& photos = window.processor().photos();
        window.selection().click(photos[0].id, false);
        for (qsizetype i : {2, 3})
            if (i < photos.size())
                window.selection().click(photos[i].id, true);
        after(600, &window, [&window, folder] {
            grabScreenArea(window).save(QDir(folder).filePath(QStringLiteral("grid-auswahl.png")));
            window.showInfo();
            after(600, &window, [&window, folder] {
                grabScreenArea(window).save(QDir(folder).filePath(QStringLiteral("info.png")));
                if (auto* sheet = window.findChild<InfoSheet*>()) {
                    sheet->grab().save(QDir(folder).filePath(QStringLiteral("info-blatt.png")));
                    sheet->close();
                }
                // The smallest window: the toolbar band no longer fits and shows its fade.
                window.resize(window.minimumSize());
                after(600, &window, [&window, folder] {
                    grabScreenArea(window).save(QDir(folder).filePath(QStringLiteral("schmal.png")));
                    QApplication::quit();
                });
            });
        });
        *started = true;
    });
    poll->start();
}

} // namespace lumora
