#pragma once

#include "app/magnifier/LupenBildModell.h"
#include "app/magnifier/WindowPlacement.h"

#include "pipeline/Image.h"

#include <QHash>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QUuid>
#include <functional>
#include <optional>
#include <vector>

namespace lumora {

class LupenBildModell;
class LupenFenster;

/// Opens and remembers the magnifier windows: at most one per photo id, placed beside the main
/// window or where the user last left a magnifier. The composition root owns the application's
/// one manager; tests create their own. User-interface thread only.
///
/// Frames passed in and out of the public functions are screen rectangles with the origin at the
/// lower left of the primary screen and y up (see ScreenAxis), in points, and describe the
/// whole window including its title bar. The remembered frame is one for all magnifiers, stored
/// in QSettings under prefsKey as a map of the numbers "x", "y", "w", "h".
class LupenFensterManager : public QObject {
    Q_OBJECT
public:
    /// Content size of a new magnifier window.
    static constexpr QSize kContentSize{1000, 750};

    explicit LupenFensterManager(QObject* parent = nullptr);
    /// Deletes the windows this manager still has open.
    ~LupenFensterManager() override;

    [[nodiscard]] static QString prefsKey() { return QStringLiteral("LupenFenster.frame"); }

    /// Shows `image` in the magnifier of photo `id`, titled "Lupe – " + `title`. When that window
    /// is already open it gets the new image and comes to the front; otherwise a new window
    /// opens in fit mode. `pixelSize` is the photo's full size when `image` is a smaller
    /// preview; empty means `image` is full size.
    void oeffnen(const QImage& image, const QString& title, const QUuid& id, QSize pixelSize = {});
    /// The same for a photo's preview (its bitmap and full pixel size).
    void oeffnen(const Preview& image, const QString& title, const QUuid& id)
    {
        oeffnen(image.bitmap, title, id, image.pixelSize);
    }

    /// The remembered frame, or none when nothing (or something malformed) is stored.
    [[nodiscard]] std::optional<QRectF> frameLaden() const;
    /// Stores `frame` as the remembered frame, replacing the previous one.
    void frameSpeichern(QRectF frame) const;
    /// True when `frame` lies wholly inside the visible area of one of the current screens.
    [[nodiscard]] bool istVollSichtbar(QRectF frame) const;
    /// The frame of a new window of `size` given the current windows and screens.
    [[nodiscard]] QRectF standardFrame(QSizeF size) const;
    /// Moves and shrinks `r` into `area`.
    [[nodiscard]] static QRectF inBereichEinpassen(QRectF r, QRectF area)
    {
        return lumora::inBereichEinpassen(r, area);
    }

    /// Where full-resolution renders come from when a window zooms beyond its image's pixels:
    /// called with the photo id and a delivery, it renders the photo at full size in the
    /// background and hands the result (or nothing) to the delivery on the UI thread.
    using FullImageRequest = std::function<void(QUuid, FullImageDelivery)>;
    void setFullImageSource(FullImageRequest source);
    /// The application's main window, which new magnifiers are placed beside. Without one, the
    /// active window or the first visible titled window counts.
    void setMainWindow(QWidget* window) { m_mainWindow = window; }
    /// Replaces the screen list (primary screen first, Qt coordinates); by default the real
    /// screens are read on every use.
    void setScreenSource(std::function<std::vector<ScreenRects>()> source);

    /// The open window of photo `id`, or null.
    [[nodiscard]] LupenFenster* fenster(const QUuid& id) const;
    /// The model shown in the window of photo `id`, or null.
    [[nodiscard]] LupenBildModell* modell(const QUuid& id) const;
    [[nodiscard]] qsizetype windowCount() const { return m_fenster.size(); }

private:
    [[nodiscard]] LupenFenster* createWindow(const QImage& image, QSize pixelSize, const QString& title,
                                             const QUuid& id);
    void place(LupenFenster* window) const;
    [[nodiscard]] QWidget* referenceWindow() const;
    void windowClosed(const QUuid& id);

    QHash<QUuid, QPointer<LupenFenster>> m_fenster;
    QHash<QUuid, QPointer<LupenBildModell>> m_modelle;
    FullImageRequest m_fullImageSource;
    std::function<std::vector<ScreenRects>()> m_screenSource;
    QPointer<QWidget> m_mainWindow;
};

} // namespace lumora
