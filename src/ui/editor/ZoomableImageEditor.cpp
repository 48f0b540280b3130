#include "ui/editor/ZoomableImageEditor.h"

#include "cutout/SegmentationModel.h"
#include "model/ImageProcessor.h"
#include "ui/Icons.h"
#include "ui/Theme.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/EditorIconButton.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace lumora {

ZoomableImageEditor::ZoomableImageEditor(ImageProcessor& processor, const QUuid& photoId, Dialogs& dialogs,
                                         LupenFensterManager& magnifiers, QSize fensterGroesse, QWidget* parent)
    : QDialog(parent), m_editor(std::make_unique<EditorController>(processor, photoId, dialogs)),
      m_toolUis(addBuiltTools(*m_editor)), m_dialogs(dialogs), m_magnifiers(magnifiers)
{
    setWindowTitle(QStringLiteral("Bearbeiten"));
    setWindowModality(Qt::WindowModal);
    setAttribute(Qt::WA_DeleteOnClose);
    resize(EditorController::sheetSize(fensterGroesse));
    setAutoFillBackground(true);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildHeader());
    m_content = new QWidget(this);
    auto* contentColumn = new QVBoxLayout(m_content);
    contentColumn->setContentsMargins(0, 0, 0, 0);
    contentColumn->setSpacing(0);
    contentColumn->addWidget(buildPanelRow());
    m_canvas = new EditorCanvas(*m_editor, m_toolUis, m_content);
    for (const auto& tool : m_toolUis)
        tool->attachToCanvas(m_canvas);
    auto* canvasFrame = new QVBoxLayout;
    canvasFrame->setContentsMargins(12, 4, 12, 12);
    canvasFrame->addWidget(m_canvas);
    contentColumn->addLayout(canvasFrame, 1);
    column->addWidget(m_content, 1);

    auto shortcut = [this](QKeySequence keys, auto action) {
        connect(new QShortcut(keys, this), &QShortcut::activated, this, action);
    };
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), [this] { m_editor->undo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), [this] { m_editor->redo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Y), [this] { m_editor->redo(); });
    shortcut(QKeySequence(Qt::CTRL | Qt::Key_Escape), [this] { m_editor->close(); });

    connect(m_editor.get(), &EditorController::changed, this, &ZoomableImageEditor::stateChanged);
    connect(m_editor.get(), &EditorController::previewChanged, this, &ZoomableImageEditor::stateChanged);
    connect(m_editor.get(), &EditorController::dismissRequested, this, &ZoomableImageEditor::dismiss);
    stateChanged();
}

ZoomableImageEditor::~ZoomableImageEditor()
{
    // The controller and the tools' interfaces (members) go before the child widgets (the base
    // class deletes them). A child that still signals on its way out, such as a text mark's
    // field losing the focus while the mark is typed, would call into them: nothing is
    // connected from the children any more.
    for (QWidget* child : findChildren<QWidget*>())
        child->disconnect();
}

QWidget* ZoomableImageEditor::buildHeader()
{
    auto* header = new QWidget(this);
    header->setAutoFillBackground(true);
    QPalette palette = header->palette();
    palette.setColor(QPalette::Window, theme::bar);
    header->setPalette(palette);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(10, 6, 10, 6);
    row->setSpacing(8);

    auto* scroll = new QScrollArea(header);
    scroll->setWidget(buildToolbar());
    scroll->setWidgetResizable(false);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFixedHeight(scroll->widget()->sizeHint().height());
    scroll->setMinimumWidth(120);
    scroll->viewport()->setAutoFillBackground(false);
    scroll->widget()->setAutoFillBackground(false);
    row->addWidget(scroll, 1);

    auto* closeButton = new QPushButton(QStringLiteral("Schließen"), header);
    closeButton->setObjectName(QStringLiteral("editorClose"));
    closeButton->setToolTip(QStringLiteral("Schließen (Strg+Esc)"));
    closeButton->setAutoDefault(false);
    connect(closeButton, &QPushButton::clicked, this, [this] { m_editor->close(); });
    row->addWidget(closeButton);
    return header;
}

QWidget* ZoomableImageEditor::buildToolbar()
{
    m_toolbarStrip = new QWidget;
    auto* row = new QHBoxLayout(m_toolbarStrip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    int group = -1;
    for (const EditorToolbarEntry& entry : editorToolbar(*m_editor, [this] { openMagnifier(); })) {
        if (group >= 0 && entry.group != group)
            row->addWidget(new VDivider(m_toolbarStrip));
        group = entry.group;
        auto* button = new EditorIconButton(entry.systemName, entry.title, entry.trigger, m_toolbarStrip);
        if (!entry.shortcut.isEmpty())
            button->setToolTip(entry.title + QStringLiteral(" (") + entry.shortcut + QLatin1Char(')'));
        row->addWidget(button);
        m_buttons.append({entry, button});
    }
    m_toolbarStrip->adjustSize();
    return m_toolbarStrip;
}

QWidget* ZoomableImageEditor::buildPanelRow()
{
    auto* area = new QWidget(m_content);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(12, 8, 12, 6);
    column->setSpacing(4);
    m_panels = new QStackedWidget(area);
    m_panels->addWidget(new QWidget(m_panels)); // modes without options
    for (std::size_t i = 0; i < m_toolUis.size(); ++i) {
        if (QWidget* panel = m_toolUis[i]->makePanel(m_dialogs)) {
            m_panels->addWidget(panel);
            m_panelOfMode.insert(int(m_editor->tools()[i]->mode()), panel);
        }
    }
    m_panels->setFixedHeight(28);
    column->addWidget(m_panels);

    auto* hintRow = new QHBoxLayout;
    hintRow->setSpacing(5);
    auto* icon = new QLabel(area);
    icon->setPixmap(icons::pixmap(QStringLiteral("info.circle"), 12, theme::textMuted, devicePixelRatioF()));
    hintRow->addWidget(icon);
    m_hint = styledLabel({}, 11, QFont::Normal, theme::textMuted);
    m_hint->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred); // a long hint never widens the sheet
    hintRow->addWidget(m_hint, 1);
    column->addLayout(hintRow);
    return area;
}

EditorIconButton* ZoomableImageEditor::button(const QString& title) const
{
    for (const auto& [entry, button] : m_buttons) {
        if (entry.title == title)
            return button;
    }
    return nullptr;
}

QString ZoomableImageEditor::hintText() const
{
    return m_hint->text();
}

QWidget* ZoomableImageEditor::currentPanel() const
{
    return m_panelOfMode.value(int(m_editor->drawingMode()));
}

void ZoomableImageEditor::stateChanged()
{
    bool resized = false;
    for (const auto& [entry, button] : m_buttons) {
        button->setEnabled(entry.enabled());
        button->setSelected(entry.selected());
        if (const bool visible = entry.visible(); visible != !button->isHidden()) {
            button->setVisible(visible);
            resized = true;
        }
    }
    if (resized)
        m_toolbarStrip->adjustSize();
    const bool finishing = m_editor->isFinishing();
    const QString hint = finishing ? QStringLiteral("Wird abgeschlossen …") : m_editor->hint();
    if (m_hint->text() != hint)
        m_hint->setText(hint);
    m_hint->setToolTip(hint);
    // While a close waits for work to end nothing new may start.
    m_content->setEnabled(!m_editor->isClosing());
    m_toolbarStrip->setEnabled(!m_editor->isClosing());
    QWidget* panel = currentPanel();
    m_panels->setCurrentWidget(panel ? panel : m_panels->widget(0));
    m_canvas->stateChanged();
}

void ZoomableImageEditor::openMagnifier()
{
    if (const auto request = m_editor->magnifierRequest())
        m_magnifiers.oeffnen(request->image, request->title, request->id, request->pixelSize);
}

void ZoomableImageEditor::dismiss()
{
    // A dialog of the sheet's own (a save panel, a question) runs its loop on the stack right
    // now: the sheet goes when it has returned, never under it.
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this && isAncestorOf(modal)) {
        QTimer::singleShot(10, this, &ZoomableImageEditor::dismiss);
        return;
    }
    m_dismissed = true;
    done(QDialog::Accepted);
}

void ZoomableImageEditor::reject()
{
    // The window's close button closes like "Schließen": commits first.
    if (m_dismissed) {
        QDialog::reject();
        return;
    }
    m_editor->close();
}

void ZoomableImageEditor::keyPressEvent(QKeyEvent* event)
{
    if (event->modifiers() == Qt::NoModifier) {
        if (event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) {
            m_editor->deleteKey();
            return;
        }
        if (event->key() == Qt::Key_Escape) { // ends the typing; otherwise closes
            if (!m_editor->escapeKey())
                m_editor->close();
            return;
        }
    }
    QDialog::keyPressEvent(event);
}

void openEditorSheet(QWidget* window, QSize fensterGroesse, ImageProcessor& processor, Dialogs& dialogs,
                     LupenFensterManager& magnifiers, const QUuid& id, const QList<QUuid>& selectedPhotoIDs,
                     FolderBookmarkStore* folders)
{
    if (!processor.photo(id)) {
        auto* empty = new QDialog(window);
        empty->setWindowModality(Qt::WindowModal);
        empty->setAttribute(Qt::WA_DeleteOnClose);
        empty->resize(EditorController::sheetSize(fensterGroesse));
        auto* layout = new QVBoxLayout(empty);
        auto* text = styledLabel(QStringLiteral("Kein Bild ausgewählt"), 13, QFont::Normal, theme::textMuted);
        text->setAlignment(Qt::AlignCenter);
        layout->addWidget(text);
        empty->open();
        return;
    }
    // Loading the segmentation model takes a moment: it loads while the user looks at the
    // photo, so that "KI-Szene" finds it ready. It stays while the sheet is open; its memory
    // (with the network's working buffers, about 650 MB) goes when the sheet closes.
    preloadIsnet();
    auto* sheet = new ZoomableImageEditor(processor, id, dialogs, magnifiers, fensterGroesse, window);
    sheet->editor().setSelectedPhotoIDs(selectedPhotoIDs);
    sheet->editor().setFolderAccess(folders);
    // The window takes the keys again when the sheet closes, also where no window manager
    // hands the focus back (the shortcuts would otherwise reach nothing).
    QObject::connect(sheet, &QDialog::finished, window, [window] {
        releaseIsnet();
        window->activateWindow();
    });
    sheet->open();
}

} // namespace lumora
