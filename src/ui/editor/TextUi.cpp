// The text tool's panel, and its layer and text field over the canvas.
#include "ui/editor/EditorToolUi.h"

#include "app/editor/EditorController.h"
#include "app/editor/TextTool.h"
#include "model/ImageProcessor.h"
#include "ui/Icons.h"
#include "ui/Theme.h"
#include "ui/editor/ColorButton.h"
#include "ui/editor/TextMarkLayer.h"

#include <QCheckBox>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QSlider>
#include <QSpinBox>
#include <QTimer>
#include <cmath>

namespace lumora {

namespace {

class TextUi : public EditorToolUi {
public:
    DrawingMode mode() const override { return DrawingMode::text; }

    QWidget* makePanel(EditorController& editor, Dialogs& dialogs) override
    {
        auto* tool = static_cast<TextTool*>(editor.tool(DrawingMode::text));
        auto* panel = new QWidget;
        auto* row = new QHBoxLayout(panel);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        auto* icon = new QLabel(panel);
        icon->setPixmap(
            icons::pixmap(QStringLiteral("textformat.size"), 16, theme::textMuted, panel->devicePixelRatioF()));
        row->addWidget(icon);
        auto* slider = new QSlider(Qt::Horizontal, panel);
        slider->setRange(int(TextTool::kMinimumFontSize), int(TextTool::kMaximumFontSize));
        slider->setFixedWidth(100);
        slider->setObjectName(QStringLiteral("textSizeSlider"));
        auto* number = new QSpinBox(panel);
        number->setRange(int(TextTool::kMinimumFontSize), int(TextTool::kMaximumFontSize));
        number->setFixedWidth(44);
        number->setButtonSymbols(QAbstractSpinBox::NoButtons);
        number->setObjectName(QStringLiteral("textSizeField"));
        auto write = [tool](int value) { tool->setFontSize(value); };
        QObject::connect(slider, &QSlider::valueChanged, panel, write);
        QObject::connect(number, &QSpinBox::valueChanged, panel, write);
        row->addWidget(slider);
        row->addWidget(number);
        row->addWidget(styledLabel(QStringLiteral("Farbe"), 11, QFont::Medium));
        auto* colour = new ColorButton(
            dialogs,
            {[&editor] { return editor.state().textColorHex; }, [tool](const QString& hex) { tool->setColorHex(hex); }},
            Qt::white, false, panel);
        row->addWidget(colour);
        auto* background = new QCheckBox(QStringLiteral("Hintergrund"), panel);
        background->setIcon(icons::icon(QStringLiteral("rectangle.fill")));
        background->setObjectName(QStringLiteral("textBackground"));
        QObject::connect(background, &QCheckBox::toggled, panel, [tool](bool on) { tool->setHasBackground(on); });
        row->addWidget(background);
        row->addStretch();

        // The controls show the state (a double click loads a mark's looks into it).
        auto show = [&editor, slider, number, colour, background] {
            const EditorState& s = editor.state();
            const int size = int(std::lround(s.textFontSize));
            const QSignalBlocker a(slider);
            const QSignalBlocker b(number);
            const QSignalBlocker c(background);
            slider->setValue(size);
            number->setValue(size);
            background->setChecked(s.textHasBackground);
            colour->update();
        };
        show();
        QObject::connect(&editor, &EditorController::changed, panel, show);
        return panel;
    }

    void paint(QPainter&, const EditorState&) const override {}
    QRectF changingArea(const EditorState&) const override { return {}; }

    void attachToCanvas(QWidget* canvas, EditorController& editor) override
    {
        m_editor = &editor;
        m_tool = static_cast<TextTool*>(editor.tool(DrawingMode::text));
        m_canvas = canvas;
        m_layer = new TextMarkNSView(canvas);
        m_layer->setGeometry(canvas->rect());
        m_field = new TextMarkField(canvas);
        m_field->hide();
        m_layer->show();

        QObject::connect(&editor, &EditorController::changed, m_layer, [this] { refresh(); });
        QObject::connect(&editor, &EditorController::previewChanged, m_layer, [this] { refresh(); });
        QObject::connect(m_field, &QLineEdit::textEdited, m_field, [this](const QString& text) {
            m_editor->state().editingTextValue = text;
            placeField(); // the box grows and shrinks with the text; nothing else repaints
        });
        QObject::connect(m_field, &QLineEdit::returnPressed, m_field, [this] { commit(); });
        QObject::connect(m_field, &TextMarkField::focusLost, m_field, [this] {
            m_editor->state().isTextFieldFocused = false;
            if (m_editor->state().editingTextID && m_editor->state().editingTextID == m_fieldMark)
                commit();
        });
        m_resize = std::make_unique<ResizeFollower>(this);
        canvas->installEventFilter(m_resize.get());
        refresh();
    }

private:
    /// Keeps the layer as big as the canvas.
    class ResizeFollower : public QObject {
    public:
        explicit ResizeFollower(TextUi* ui) : m_ui(ui) {}
        bool eventFilter(QObject*, QEvent* event) override
        {
            if (event->type() == QEvent::Resize && m_ui->m_layer) {
                m_ui->m_layer->setGeometry(m_ui->m_canvas->rect());
                m_ui->refresh();
            }
            return false;
        }

    private:
        TextUi* m_ui;
    };

    void commit()
    {
        m_tool->commit();
        Q_EMIT m_editor->changed();
    }

    /// The bridge record for the layer from the editor's state and the photo.
    TextMarkLayerView bridge()
    {
        const EditorState& s = m_editor->state();
        TextMarkLayerView view;
        if (const PhotoItem* photo = m_editor->photo())
            view.textMarks = photo->edits.textMarks;
        view.selectedTextID = s.selectedTextID;
        view.editingTextID = s.editingTextID;
        const CanvasMapping mapping = m_editor->mapping();
        view.displayedImageSize = mapping.orientedSize();
        view.originalImageSize = mapping.originalSize;
        view.rotation = mapping.rotation;
        view.flippedH = mapping.flippedH;
        view.flippedV = mapping.flippedV;
        view.isTextMode = s.drawingMode == DrawingMode::text;
        view.onEmptyClick = [this](QPointF q) {
            if (m_tool->emptyClick(q))
                focusFieldLater();
        };
        view.onRequestEdit = [this](const QUuid& id) {
            m_tool->requestEdit(id);
            focusFieldLater();
        };
        view.onSelect = [this](const std::optional<QUuid>& id) { m_tool->select(id); };
        view.onMove = [this](const QUuid& id, QPointF position) { m_tool->moveMark(id, position); };
        return view;
    }

    void refresh()
    {
        if (!m_layer)
            return;
        m_layer->takeOver(bridge());
        const EditorState& s = m_editor->state();
        if (!s.editingTextID) {
            if (m_field->isVisible()) {
                if (m_field->hasFocus())
                    m_canvas->setFocus(); // keys go to the sheet again (the delete key)
                m_field->hide();
            }
            m_fieldMark.reset();
            return;
        }
        if (m_fieldMark != s.editingTextID) {
            m_fieldMark = s.editingTextID;
            m_field->setText(s.editingTextValue);
        }
        placeField();
        m_field->show();
        m_field->raise();
    }

    /// Puts the field over the mark being edited, in the mark's looks, sized for its text.
    void placeField()
    {
        const PhotoItem* photo = m_editor->photo();
        if (!photo || !m_fieldMark)
            return;
        for (const TextMark& mark : photo->edits.textMarks) {
            if (mark.id != *m_fieldMark)
                continue;
            const TextLayerGeometry g = m_layer->geometry2D();
            m_field->place(g.toView(mark.position), g.viewFontSize(mark), mark.colorHex, mark.hasBackground);
            return;
        }
    }

    /// The field takes the focus once it exists (after the update that shows it).
    void focusFieldLater()
    {
        QTimer::singleShot(0, m_field, [field = QPointer<TextMarkField>(m_field), this] {
            if (field && field->isVisible()) {
                field->setFocus(Qt::OtherFocusReason);
                m_editor->state().isTextFieldFocused = true;
            }
        });
    }

    EditorController* m_editor = nullptr;
    TextTool* m_tool = nullptr;
    QWidget* m_canvas = nullptr;
    QPointer<TextMarkNSView> m_layer;
    QPointer<TextMarkField> m_field;
    std::optional<QUuid> m_fieldMark;
    std::unique_ptr<ResizeFollower> m_resize;
};

} // namespace

std::unique_ptr<EditorToolUi> makeTextUi()
{
    return std::make_unique<TextUi>();
}

} // namespace lumora
