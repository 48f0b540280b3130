#include "ui/magnifier/LupenFensterManager.h"

#include "app/magnifier/LupenBildModell.h"
#include "ui/magnifier/LupenFenster.h"

#include <QApplication>
#include <QMainWindow>
#include <QScreen>
#include <QSettings>
#include <QWindow>
#include <utility>

namespace lumora {

namespace {

std::vector<ScreenRects> realScreens()
{
    std::vector<ScreenRects> list;
    QScreen* primary = QGuiApplication::primaryScreen();
    if (primary)
        list.push_back({QRectF(primary->geometry()), QRectF(primary->availableGeometry())});
    for (QScreen* screen : QGuiApplication::screens()) {
        if (screen != primary)
            list.push_back({QRectF(screen->geometry()), QRectF(screen->availableGeometry())});
    }
    return list;
}

std::vector<QRectF> visibleAreas(const std::vector<ScreenRects>& screens, const ScreenAxis& axis)
{
    std::vector<QRectF> areas;
    for (const ScreenRects& b : screens)
        areas.push_back(axis.mirrored(b.visible));
    return areas;
}

bool isCandidate(const QWidget* w)
{
    return w && w->isVisible() && !w->isMinimized() && !w->windowTitle().isEmpty()
           && (w->windowType() == Qt::Window || w->windowType() == Qt::Dialog);
}

/// Thickness of the window decorations of `fenster` on each side.
QMargins decorationsOf(const QWidget* window)
{
    const QRect outer = window->frameGeometry();
    const QRect inner = window->geometry();
    return {inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
            outer.bottom() - inner.bottom()};
}

QRect rounded(QRectF r)
{
    return {qRound(r.x()), qRound(r.y()), qRound(r.width()), qRound(r.height())};
}

} // namespace

LupenFensterManager::LupenFensterManager(QObject* parent) : QObject(parent), m_screenSource(realScreens)
{
}

LupenFensterManager::~LupenFensterManager()
{
    // Emptied first: each deletion reports back through destroyed and would edit the maps.
    const auto windows = std::exchange(m_fenster, {});
    m_modelle.clear();
    for (const QPointer<LupenFenster>& window : windows)
        delete window.data();
}

void LupenFensterManager::oeffnen(const QImage& image, const QString& title, const QUuid& id, QSize pixelSize)
{
    if (LupenFenster* open = fenster(id)) {
        if (LupenBildModell* m = modell(id))
            m->setBild(image, pixelSize);
        open->bringToFront();
        return;
    }
    LupenFenster* window = createWindow(image, pixelSize, title, id);
    place(window);
    window->bringToFront();
    // Only now: the placement itself is not a move by the user.
    window->setReportingMoves(true);
    m_fenster.insert(id, window);
    m_modelle.insert(id, window->modell());
}

LupenFenster* LupenFensterManager::createWindow(const QImage& image, QSize pixelSize, const QString& title,
                                                const QUuid& id)
{
    auto* modell = new LupenBildModell(image, pixelSize);
    modell->setFullImageSource([manager = QPointer(this), id](FullImageDelivery deliver) {
        if (!manager || !manager->m_fullImageSource)
            return deliver(std::nullopt);
        manager->m_fullImageSource(id, std::move(deliver));
    });
    auto* window = new LupenFenster(modell, title);
    connect(window, &LupenFenster::frameChanged, this,
            [this, window] { frameSpeichern(axisFor(m_screenSource()).mirrored(QRectF(window->frameGeometry()))); });
    connect(window, &LupenFenster::closed, this, [this, id] { windowClosed(id); });
    // Should anyone else delete the window, forget it, unless a newer window took the id.
    connect(window, &QObject::destroyed, this, [this, id] {
        if (!m_fenster.value(id)) {
            m_fenster.remove(id);
            m_modelle.remove(id);
        }
    });
    return window;
}

void LupenFensterManager::place(LupenFenster* window) const
{
    const std::vector<ScreenRects> screens = m_screenSource();
    const ScreenAxis axis = axisFor(screens);
    QWidget* reference = referenceWindow();

    QRectF frame;
    const std::optional<QRectF> remembered = frameLaden();
    if (remembered && lumora::istVollSichtbar(*remembered, visibleAreas(screens, axis))) {
        frame = axis.mirrored(*remembered);
    } else {
        const std::optional<QRectF> referenceFrame =
            reference ? std::optional(QRectF(reference->frameGeometry())) : std::nullopt;
        frame = standardFrameQt(QSizeF(kContentSize), referenceFrame, screens);
    }

    // The frame includes the decorations; Qt places the content. Take the decorations from the
    // platform window when it knows them, else assume those of the reference window, so that a
    // stored frame comes back as the same frame rather than growing by a title bar each time.
    window->winId();
    QMargins margins = window->windowHandle() ? window->windowHandle()->frameMargins() : QMargins();
    if (margins.isNull() && reference)
        margins = decorationsOf(reference);
    window->setGeometry(rounded(frame).marginsRemoved(margins));
}

QWidget* LupenFensterManager::referenceWindow() const
{
    if (isCandidate(m_mainWindow))
        return m_mainWindow;
    if (QWidget* active = QApplication::activeWindow(); isCandidate(active))
        return active;
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget* w : windows) {
        if (isCandidate(w) && qobject_cast<QMainWindow*>(w))
            return w;
    }
    for (QWidget* w : windows) {
        if (isCandidate(w))
            return w;
    }
    return nullptr;
}

void LupenFensterManager::windowClosed(const QUuid& id)
{
    LupenFenster* closedWindow = fenster(id);
    m_fenster.remove(id);
    m_modelle.remove(id);
    if (closedWindow) {
        closedWindow->disconnect(this);
        closedWindow->deleteLater();
    }
}

std::optional<QRectF> LupenFensterManager::frameLaden() const
{
    return frameFromValue(QSettings().value(prefsKey()));
}

void LupenFensterManager::frameSpeichern(QRectF frame) const
{
    QSettings().setValue(prefsKey(), frameToValue(frame));
}

bool LupenFensterManager::istVollSichtbar(QRectF frame) const
{
    const std::vector<ScreenRects> screens = m_screenSource();
    return lumora::istVollSichtbar(frame, visibleAreas(screens, axisFor(screens)));
}

QRectF LupenFensterManager::standardFrame(QSizeF size) const
{
    const std::vector<ScreenRects> screens = m_screenSource();
    QWidget* reference = referenceWindow();
    const std::optional<QRectF> referenceFrame =
        reference ? std::optional(QRectF(reference->frameGeometry())) : std::nullopt;
    return axisFor(screens).mirrored(standardFrameQt(size, referenceFrame, screens));
}

void LupenFensterManager::setFullImageSource(FullImageRequest source)
{
    m_fullImageSource = std::move(source);
}

void LupenFensterManager::setScreenSource(std::function<std::vector<ScreenRects>()> source)
{
    m_screenSource = source ? std::move(source) : realScreens;
}

LupenFenster* LupenFensterManager::fenster(const QUuid& id) const
{
    return m_fenster.value(id).data();
}

LupenBildModell* LupenFensterManager::modell(const QUuid& id) const
{
    return m_modelle.value(id).data();
}

} // namespace lumora
