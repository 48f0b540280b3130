#include "ui/editor/ZoomableImageEditor.h"

#include "cutout/SegmentationModel.h"
#include "model/ImageProcessor.h"
#include "ui/Icons.h"
#include "ui/Theme.h"
#include "ui/editor/EditorCanvas.h"
#include "ui/editor/EditorIconButton.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace lumora {

ZoomableImageEditor::ZoomableImageEditor(ImageProcessor& processor, const QUuid& photoId, Dialogs& dialogs,
                                         LupenFensterManager& magnifiers, QSize fensterGroesse, QWidget* parent)
    : QDialog(parent), m_editor(std::make_unique<EditorController>(processor, photoId, dialogs)),
      m_toolUis(builtToolUis()), m_dialogs(dialogs), m_magnifiers(magnifiers)
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
    column->addWidget(buildPanelRow());
    m_canvas = new EditorCanvas(*m_editor, m_toolUis, this);
    for (const auto& tool : m_toolUis)
        tool->attachToCanvas(m_canvas, *m_editor);
    auto* canvasFrame = new QVBoxLayout;
    canvasFrame->setContentsMargins(12, 4, 12, 12);
    canvasFrame->addWidget(m_canvas);
    column->addLayout(canvasFrame, 1);

    auto* undo = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z), this);
    connect(undo, &QShortcut::activated, this, [this] { m_editor->undo(); });
    auto* close = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, [this] { m_editor->close(); });

    connect(m_editor.get(), &EditorController::changed, this, &ZoomableImageEditor::stateChanged);
    connect(m_editor.get(), &EditorController::previewChanged, this, &ZoomableImageEditor::stateChanged);
    connect(m_editor.get(), &EditorController::dismissRequested, this, [this] {
        m_dismissed = true;
        done(QDialog::Accepted);
    });
    stateChanged();
}

ZoomableImageEditor::~ZoomableImageEditor() = default;

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
    auto* strip = new QWidget;
    auto* row = new QHBoxLayout(strip);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(2);
    int group = -1;
    for (const EditorToolbarEntry& entry : editorToolbar::entries()) {
        if (group >= 0 && entry.group != group)
            row->addWidget(new VDivider(strip));
        group = entry.group;
        auto* button = new EditorIconButton(
            entry.systemName, entry.title, [this, entry] { trigger(entry); }, strip);
        row->addWidget(button);
        m_buttons.append({entry, button});
    }
    strip->adjustSize();
    return strip;
}

QWidget* ZoomableImageEditor::buildPanelRow()
{
    auto* area = new QWidget(this);
    auto* column = new QVBoxLayout(area);
    column->setContentsMargins(12, 8, 12, 6);
    column->setSpacing(4);
    m_panels = new QStackedWidget(area);
    m_panels->addWidget(new QWidget(m_panels)); // modes without options
    for (const auto& tool : m_toolUis) {
        QWidget* panel = tool->makePanel(*m_editor, m_dialogs);
        m_panels->addWidget(panel);
        m_panelOfMode.insert(int(tool->mode()), panel);
    }
    m_panels->setFixedHeight(28);
    column->addWidget(m_panels);

    auto* hintRow = new QHBoxLayout;
    hintRow->setSpacing(5);
    auto* icon = new QLabel(area);
    icon->setPixmap(icons::pixmap(QStringLiteral("info.circle"), 12, theme::textMuted, devicePixelRatioF()));
    hintRow->addWidget(icon);
    m_hint = styledLabel({}, 11, QFont::Normal, theme::textMuted);
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
    return m_panelOfMode.value(int(m_editor->state().drawingMode));
}

void ZoomableImageEditor::stateChanged()
{
    for (const auto& [entry, button] : m_buttons) {
        button->setEnabled(editorToolbar::isEnabled(entry, *m_editor));
        button->setSelected(editorToolbar::isSelected(entry, *m_editor));
        if (const bool visible = editorToolbar::isVisible(entry, *m_editor); visible != !button->isHidden()) {
            button->setVisible(visible);
            button->parentWidget()->adjustSize();
        }
    }
    const QString hint = m_editor->hint();
    if (m_hint->text() != hint)
        m_hint->setText(hint);
    QWidget* panel = currentPanel();
    m_panels->setCurrentWidget(panel ? panel : m_panels->widget(0));
    m_canvas->stateChanged();
}

void ZoomableImageEditor::trigger(const EditorToolbarEntry& entry)
{
    if (entry.action == EditorToolbarEntry::Action::magnifier)
        openMagnifier();
    else
        editorToolbar::trigger(*m_editor, entry);
}

void ZoomableImageEditor::openMagnifier()
{
    if (const auto request = m_editor->magnifierRequest())
        m_magnifiers.oeffnen(request->image, request->title, request->id, request->pixelSize);
}

void ZoomableImageEditor::reject()
{
    // Escape and the window's close button close like "Schließen": commits first.
    if (m_dismissed) {
        QDialog::reject();
        return;
    }
    m_editor->close();
}

void ZoomableImageEditor::keyPressEvent(QKeyEvent* event)
{
    if ((event->key() == Qt::Key_Delete || event->key() == Qt::Key_Backspace) && event->modifiers() == Qt::NoModifier) {
        m_editor->deleteKey();
        return;
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
    // Loading the segmentation model takes most of a second: it loads while the user looks at
    // the photo, so that "KI-Szene" finds it ready. Once loaded it stays for the session.
    preloadIsnet();
    auto* sheet = new ZoomableImageEditor(processor, id, dialogs, magnifiers, fensterGroesse, window);
    sheet->editor().setSelectedPhotoIDs(selectedPhotoIDs);
    sheet->editor().setFolderAccess(folders);
    sheet->open();
}

} // namespace lumora
