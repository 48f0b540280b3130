#include "PictureShots.h"

#include "app/editor/ArrowTool.h"
#include "app/editor/BackgroundTool.h"
#include "app/editor/RectangleTool.h"
#include "app/editor/StrokeTools.h"

#include "app/KeySequenceTracker.h"
#include "app/WatermarkController.h"
#include "app/editor/CropTool.h"
#include "app/editor/TextTool.h"
#include "fileops/FolderBookmarkStore.h"
#include "model/ImageProcessor.h"
#include "pipeline/SourceImage.h"
#include "platform/Dialogs.h"
#include "platform/VolumeService.h"
#include "ui/ContentView.h"
#include "ui/ProgressOverlay.h"
#include "ui/WatermarkSheet.h"
#include "ui/WidgetDialogs.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/TextMarkLayer.h"
#include "ui/editor/ZoomableImageEditor.h"
#include "ui/magnifier/LupenAnsicht.h"
#include "ui/magnifier/LupenFenster.h"
#include "ui/magnifier/LupenFensterManager.h"
#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include <QAction>
#include <QApplication>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <cstdio>

namespace lumora {

namespace {

struct Photo {
    QImage preview;
    QSize pixelSize;
    QImage full;
    QString title;
};

Photo loadPhoto(const QString& path)
{
    if (!path.isEmpty()) {
        const auto source = SourceImage::fromFile(path);
        const auto full = source ? source->decode() : std::expected<QImage, Error>();
        const auto preview = source ? source->decodeToFit({1600, 1600}) : std::expected<QImage, Error>();
        if (source && full && preview)
            return {*preview, source->size(), *full, QFileInfo(path).fileName()};
        std::fprintf(stderr, "%s: not readable, using a test card\n", qPrintable(path));
    }
    const QImage card = testCard(3000, 2000);
    return {card.scaled(600, 400), card.size(), card, QStringLiteral("Testkarte")};
}

bool save(QWidget* widget, const QString& folder, const QString& name)
{
    QCoreApplication::processEvents();
    const QString path = QDir(folder).filePath(name);
    if (widget->grab().save(path))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

/// `count` JPEG copies of `photo` in `folder`, or generated cards when there is no photo.
QList<QUrl> photoFiles(const QString& folder, const QString& photo, int count)
{
    QList<QUrl> urls;
    for (int i = 0; i < count; ++i) {
        const QString path = QDir(folder).filePath(QStringLiteral("foto%1.jpg").arg(i + 1));
        const bool written = photo.isEmpty() ? testCard(3000, 2000).save(path, "JPEG", 90)
                                             : QFile::link(QFileInfo(photo).absoluteFilePath(), path);
        if (written)
            urls.append(QUrl::fromLocalFile(path));
    }
    return urls;
}

bool loadAndWait(ImageProcessor& processor, const QList<QUrl>& urls)
{
    bool appended = false;
    processor.loadPhotos(urls, [&] { appended = true; });
    return waitUntil([&] { return appended && !processor.isBusy(); }, 60000);
}

/// Answers every folder panel with one folder and every question with its default.
class FixedFolderDialogs : public Dialogs {
public:
    explicit FixedFolderDialogs(QString folder) : m_folder(std::move(folder)) {}
    std::optional<QString> chooseFolder(const FolderPanelRequest&) override { return m_folder; }
    QStringList chooseFiles(const OpenPanelRequest&) override { return files; }
    std::optional<int> ask(const QuestionRequest& request) override
    {
        return askWith ? askWith->ask(request) : std::nullopt;
    }
    QStringList files;          ///< the answer of every file panel
    Dialogs* askWith = nullptr; ///< who answers questions and shows alerts instead of the default
    void inform(const QString& title, const QString& message) override
    {
        if (askWith)
            askWith->inform(title, message);
    }
    std::optional<QString> chooseColor(const ColorPanelRequest&) override { return std::nullopt; }

private:
    QString m_folder;
};

/// The real question sheets, each pictured when it is up and then answered with the button of
/// a given text.
class PicturingDialogs : public WidgetDialogs {
public:
    PicturingDialogs(QString folder, QStringList pictures) : m_folder(std::move(folder)), m_pictures(pictures) {}
    std::optional<int> ask(const QuestionRequest& request) override
    {
        pictureAndPress(QStringLiteral("Kopie anlegen"));
        return WidgetDialogs::ask(request);
    }
    void inform(const QString& title, const QString& message) override
    {
        pictureAndPress(QStringLiteral("OK"));
        WidgetDialogs::inform(title, message);
    }
    bool ok = true;

private:
    void pictureAndPress(const QString& button)
    {
        const QString name = m_pictures.isEmpty() ? QString() : m_pictures.takeFirst();
        QTimer::singleShot(400, [this, name, button] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal) {
                ok = false;
                return;
            }
            if (!name.isEmpty())
                ok = save(modal, m_folder, name) && ok;
            for (auto* push : modal->findChildren<QPushButton*>())
                if (push->text() == button)
                    return push->click();
        });
    }

    QString m_folder;
    QStringList m_pictures;
};

class NoVolumes : public VolumeService {
public:
    std::expected<void, Error> unmountAndEject(const QString&) override { return {}; }
};

} // namespace

QImage testCard(int w, int h)
{
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    const int hw = w / 2;
    const int hh = h / 2;
    painter.fillRect(0, 0, hw, hh, Qt::red);
    painter.fillRect(hw, 0, w - hw, hh, Qt::green);
    painter.fillRect(0, hh, hw, h - hh, Qt::blue);
    painter.fillRect(hw, hh, w - hw, h - hh, Qt::white);
    return image;
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    return true;
}

int magnifierShots(const QString& folder, const QString& photoPath)
{
    const Photo photo = loadPhoto(photoPath);
    LupenFensterManager manager;
    manager.setFullImageSource([&](QUuid, FullImageDelivery deliver) { deliver(photo.full); });
    const QUuid id = QUuid::createUuid();
    manager.oeffnen(photo.preview, photo.title, id, photo.pixelSize);
    LupenFenster* window = manager.fenster(id);
    bool ok = save(window, folder, QStringLiteral("lupe-einpassen.png"));

    window->view()->actualSizeAction()->trigger();
    SchwenkbareBildAnsicht* surface = window->view()->surface();
    const QSizeF middle = (QSizeF(surface->content()->size()) - surface->visibleSize()) / 2;
    surface->setOrigin({middle.width(), middle.height()});
    ok = save(window, folder, QStringLiteral("lupe-100.png")) && ok;

    for (int i = 0; i < 3; ++i)
        window->view()->zoomInAction()->trigger();
    ok = save(window, folder, QStringLiteral("lupe-195.png")) && ok;
    return ok ? 0 : 1;
}

int overlayShot(const QString& folder, const QString& photo)
{
    QTemporaryDir dir;
    const QString out = dir.filePath(QStringLiteral("out"));
    QDir().mkpath(out);
    FixedFolderDialogs dialogs(out);
    NoVolumes volumes;
    LupenFensterManager magnifiers;
    KeySequenceTracker keySequence;
    LoadPlaces places;
    places.exists = [](const QString&) { return false; };
    ContentView view({dialogs, volumes, magnifiers, keySequence}, std::move(places));
    view.show();
    if (!loadAndWait(view.processor(), photoFiles(dir.path(), photo, 40))) {
        std::fprintf(stderr, "the photos did not load\n");
        return 1;
    }
    view.flows().exportJpg();
    const bool quarter = waitUntil([&] { return view.flows().progress() >= 0.25; }, 60000);
    waitUntil([] { return false; }, 300); // the ring animates to the value
    const bool ok = quarter && save(&view, folder, QStringLiteral("progress-overlay.png"));
    view.flows().cancelRunning();
    waitUntil([&] { return view.flows().running() == CommandFlows::Command::none; }, 60000);
    return ok ? 0 : 1;
}

int watermarkShot(const QString& folder, const QString& photo)
{
    QTemporaryDir dir;
    ImageProcessor processor;
    if (!loadAndWait(processor, photoFiles(dir.path(), photo, 1))) {
        std::fprintf(stderr, "the photo did not load\n");
        return 1;
    }
    WatermarkValues values;
    values.lastWatermarkText = QStringLiteral("© Lumora Studio");
    WatermarkController controller(processor, values, {});
    controller.open();
    WatermarkSheet sheet(controller, values, {1280, 760});
    sheet.show();
    const bool shown = waitUntil([&] { return !sheet.previewImage().isNull(); }, 20000);
    waitUntil([] { return false; }, 100);
    return shown && save(&sheet, folder, QStringLiteral("watermark-sheet.png")) ? 0 : 1;
}

// The background mode: computing, with a colour, transparent, with a photo (a grey-green
// gradient), and the question when the mode is left with the result not applied.
bool backgroundShots(const QString& folder, ZoomableImageEditor& sheet, FixedFolderDialogs& dialogs)
{
    EditorController& editor = sheet.editor();
    auto* tool = dynamic_cast<BackgroundTool*>(editor.tool(DrawingMode::freisteller));
    if (!tool)
        return false;
    bool ok = true;
    const auto picture = [&](const QString& name) {
        waitUntil([] { return false; }, 300);
        ok = save(&sheet, folder, name) && ok;
    };
    tool->start();
    picture(QStringLiteral("editor-ki-berechnet.png"));
    if (!waitUntil([&] { return !tool->freistellerLaeuft() && !tool->isComposing(); }, 120000))
        return false;
    tool->setColor(QColor(0x1E, 0x90, 0xFF));
    picture(QStringLiteral("editor-ki-farbe.png"));
    tool->setTransparent(true);
    picture(QStringLiteral("editor-ki-transparent.png"));
    QTemporaryDir dir;
    QImage backdrop(1200, 800, QImage::Format_RGB32);
    {
        QPainter painter(&backdrop);
        QLinearGradient gradient(0, 0, 0, 800);
        gradient.setColorAt(0, QColor(0x9F, 0xC5, 0xE8));
        gradient.setColorAt(1, QColor(0x4E, 0x7D, 0x3A));
        painter.fillRect(backdrop.rect(), gradient);
    }
    const QString backdropPath = dir.filePath(QStringLiteral("hintergrund.jpg"));
    backdrop.save(backdropPath, "JPEG", 90);
    dialogs.files = {backdropPath};
    tool->setTransparent(false);
    tool->chooseBackgroundPhoto();
    picture(QStringLiteral("editor-ki-foto.png"));
    // The question over the sheet, pictured with the whole screen, then answered "Abbrechen".
    WidgetDialogs widgets(&sheet);
    // The timer lives only while the question may be open: when no question comes (nothing to
    // apply), it must not fire later and close the sheet itself.
    QObject whileAsking;
    QTimer::singleShot(600, &whileAsking, [&ok, folder, &sheet] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == &sheet)
            return;
        const QString path = QDir(folder).filePath(QStringLiteral("editor-ki-frage.png"));
        if (!QGuiApplication::primaryScreen()->grabWindow(0).save(path))
            ok = false;
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
    });
    dialogs.askWith = &widgets;
    editor.setMode(DrawingMode::rectangle);
    dialogs.askWith = nullptr;
    return ok;
}

int editorShots(const QString& folder, const QString& photo)
{
    QTemporaryDir dir;
    ImageProcessor processor;
    if (!loadAndWait(processor, photoFiles(dir.path(), photo, 3))) {
        std::fprintf(stderr, "the photos did not load\n");
        return 1;
    }
    FixedFolderDialogs dialogs(dir.path());
    FolderBookmarkStore folders(dialogs, dir.filePath(QStringLiteral("grants.ini")));
    LupenFensterManager magnifiers;
    auto* sheet = new ZoomableImageEditor(processor, processor.photos().first().id, dialogs, magnifiers, {1280, 760});
    QList<QUuid> all;
    for (const PhotoItem& item : processor.photos())
        all << item.id;
    sheet->editor().setSelectedPhotoIDs(all);
    sheet->editor().setFolderAccess(&folders);
    sheet->show();
    EditorController& editor = sheet->editor();
    if (!waitUntil([&] { return editor.editorPreview().has_value(); }, 20000))
        return 1;
    const QRectF f = editor.mapping().fittedRect();
    const auto at = [&](double x, double y) { return f.topLeft() + QPointF(x * f.width(), y * f.height()); };
    const auto stroke = [&](QList<QPointF> points, bool release) {
        editor.press(points.first());
        for (QPointF p : points)
            editor.move(p);
        if (release)
            editor.release(points.last());
    };
    // The screenshots drive each tool through its own interface.
    auto& rectangle = static_cast<RectangleTool&>(*editor.tool(DrawingMode::rectangle));
    auto& freehand = static_cast<FreehandTool&>(*editor.tool(DrawingMode::freehand));
    auto& arrow = static_cast<ArrowTool&>(*editor.tool(DrawingMode::arrow));
    auto& text = static_cast<TextTool&>(*editor.tool(DrawingMode::text));
    bool ok = true;
    const auto picture = [&](const QString& name) {
        waitUntil([] { return false; }, 300);
        ok = save(sheet, folder, name) && ok;
    };
    // The background mode first, on the photo without marks; its result is then discarded.
    ok = backgroundShots(folder, *sheet, dialogs) && ok;
    if (auto* background = dynamic_cast<BackgroundTool*>(editor.tool(DrawingMode::freisteller)))
        background->discard();
    // Rectangle: one committed (black), one being edited (in red with its handles).
    rectangle.setRectColorHex(QStringLiteral("#000000"));
    stroke({at(0.08, 0.1), at(0.3, 0.25)}, true);
    stroke({at(0.5, 0.5), at(0.8, 0.75)}, true); // a drag far away commits the first one
    rectangle.setRectColorHex(QStringLiteral("#C0392B"));
    picture(QStringLiteral("editor-rechteck.png"));
    // Freehand: a committed line and one still being drawn.
    editor.setMode(DrawingMode::freehand);
    freehand.setFreehandLineWidth(8);
    stroke({at(0.1, 0.8), at(0.2, 0.6), at(0.3, 0.75), at(0.4, 0.55)}, true);
    freehand.setFreehandColorHex(QStringLiteral("#30D158"));
    stroke({at(0.5, 0.2), at(0.6, 0.35), at(0.7, 0.15)}, false);
    picture(QStringLiteral("editor-freihand.png"));
    editor.release(at(0.7, 0.15));
    // Fill: an area being enclosed.
    editor.setMode(DrawingMode::whiteFill);
    stroke({at(0.55, 0.55), at(0.85, 0.6), at(0.9, 0.9), at(0.6, 0.85)}, false);
    picture(QStringLiteral("editor-fuellen.png"));
    editor.release(at(0.6, 0.85));
    // Arrow: one committed, one being edited (with its yellow markers).
    editor.setMode(DrawingMode::arrow);
    stroke({at(0.1, 0.15), at(0.35, 0.3)}, true);
    stroke({at(0.6, 0.85)}, true); // a click far away commits the first one
    arrow.setArrowLineWidth(18);
    arrow.setArrowColorHex(QStringLiteral("#FFD60A"));
    stroke({at(0.45, 0.7), at(0.75, 0.35)}, true);
    QCoreApplication::processEvents();
    picture(QStringLiteral("editor-pfeil.png"));
    // Text: a committed mark (selected) and one being typed in its field.
    editor.setMode(DrawingMode::text);
    auto* field = sheet->findChild<TextMarkField*>();
    text.setTextFontSize(36 * editor.mapping().pixelsPerPoint()); // 36 points on the screen
    stroke({at(0.3, 0.2)}, true);
    text.setEditingTextValue(QStringLiteral("Hafen am Abend"));
    text.endTyping();
    stroke({at(0.65, 0.6)}, true);    // away from the mark: nothing selected, a new one starts
    text.setTextHasBackground(false); // the new mark's looks; the first keeps its own
    text.setTextColorHex(QStringLiteral("#FFD60A"));
    text.setEditingTextValue(QStringLiteral("Mole Nord"));
    if (field)
        field->setText(text.editingTextValue());
    picture(QStringLiteral("editor-text-bearbeiten.png"));
    text.endTyping();
    stroke({editor.mapping().toCanvas(editor.photo()->edits.textMarks.first().position)}, true);
    picture(QStringLiteral("editor-text.png"));
    // Crop: a frame with its pixel label, then the batch over the three photos as copies: the
    // confirmation, the panel while it runs, and the summary.
    editor.setMode(DrawingMode::crop);
    stroke({at(0.2, 0.15), at(0.75, 0.8)}, true);
    picture(QStringLiteral("editor-zuschneiden.png"));
    PicturingDialogs sheets(folder, {QStringLiteral("editor-zuschneiden-bestaetigung.png"),
                                     QStringLiteral("editor-zuschneiden-ergebnis.png")});
    sheets.setWindow(sheet);
    dialogs.askWith = &sheets;
    auto* crop = static_cast<CropTool*>(editor.tool(DrawingMode::crop));
    crop->apply(true); // returns once the confirmation is answered
    if (waitUntil([&] { return crop->progress() && crop->progress()->first >= 1; }, 20000))
        ok = save(sheet, folder, QStringLiteral("editor-zuschneiden-laeuft.png")) && ok;
    ok = waitUntil([&] { return !crop->isCropping(); }, 60000) && ok;
    dialogs.askWith = nullptr;
    editor.close();
    return ok && sheets.ok ? 0 : 1;
}

} // namespace lumora

namespace lumora {

int panelShots(const QString& folder)
{
    // Each panel is pictured as soon as it is shown, then closed without a choice.
    bool ok = true;
    const auto pictureNextModal = [&](const QString& name) {
        auto* poll = new QTimer;
        poll->setInterval(50);
        QObject::connect(poll, &QTimer::timeout, [poll, name, folder, &ok] {
            QWidget* modal = QApplication::activeModalWidget();
            if (!modal)
                return;
            poll->stop();
            poll->deleteLater();
            QTimer::singleShot(300, modal, [modal, name, folder, &ok] {
                ok = save(modal, folder, name) && ok;
                if (auto* dialog = qobject_cast<QDialog*>(modal))
                    dialog->reject();
            });
        });
        poll->start();
    };
    WidgetDialogs dialogs;
    pictureNextModal(QStringLiteral("dateipanel.png"));
    (void)dialogs.chooseFiles(OpenPanelRequest{QStringLiteral("Fotos öffnen"),
                                               QDir::homePath(),
                                               {QStringLiteral("Bilder (*.jpg *.jpeg *.png *.heic)")},
                                               true});
    pictureNextModal(QStringLiteral("farbdialog.png"));
    QColorDialog colors(Qt::white);
    colors.setOption(QColorDialog::DontUseNativeDialog);
    colors.exec();
    return ok ? 0 : 1;
}

} // namespace lumora
