// The text tool's panel, and its layer and text field over the canvas.
#include "ui/editor/TextUi.h"

#include "app/editor/EditorController.h"
#include "app/editor/TextTool.h"
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
    TextUi(EditorController& editor, TextTool& tool) : m_editor(editor), m_tool(tool) {}

    QWidget* makePanel(Dialogs& dialogs) override
    {
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
        auto write = [this](int value) { m_tool.setTextFontSize(value); };
        QObject::connect(slider, &QSlider::valueChanged, panel, write);
        QObject::connect(number, &QSpinBox::valueChanged, panel, write);
        row->addWidget(slider);
        row->addWidget(number);
        row->addWidget(styledLabel(QStringLiteral("Farbe"), 11, QFont::Medium));
        auto* colour = new ColorButton(
            dialogs,
            {[this] { return m_tool.textColorHex(); }, [this](const QString& hex) { m_tool.setTextColorHex(hex); }},
            Qt::white, false, panel);
        row->addWidget(colour);
        auto* background = new QCheckBox(QStringLiteral("Hintergrund"), panel);
        background->setIcon(icons::icon(QStringLiteral("rectangle.fill")));
        background->setObjectName(QStringLiteral("textBackground"));
        QObject::connect(background, &QCheckBox::toggled, panel, [this](bool on) { m_tool.setTextHasBackground(on); });
        row->addWidget(background);
        row->addStretch();

        // The controls show the tool's values (a double click loads a mark's looks into them).
        auto show = [this, slider, number, colour, background] {
            const int size = int(std::lround(m_tool.textFontSize()));
            const QSignalBlocker a(slider);
            const QSignalBlocker b(number);
            const QSignalBlocker c(background);
            slider->setValue(size);
            number->setValue(size);
            background->setChecked(m_tool.textHasBackground());
            colour->update();
        };
        show();
        QObject::connect(&m_editor, &EditorController::changed, panel, show);
        return panel;
    }

    void paint(QPainter&, const CanvasMapping&) const override {}
    QRectF changingArea(const CanvasMapping&) const override { return {}; }

    void attachToCanvas(QWidget* canvas) override
    {
        m_canvas = canvas;
        m_layer = new TextMarkNSView(canvas);
        m_layer->setGeometry(canvas->rect());
        m_field = new TextMarkField(canvas);
        m_field->hide();
        m_layer->show();

        QObject::connect(&m_editor, &EditorController::changed, m_layer, [this] { refresh(); });
        QObject::connect(m_field, &QLineEdit::textEdited, m_field, [this](const QString& text) {
            m_tool.setEditingTextValue(text);
            placeField(); // the box grows and shrinks with the text; nothing else repaints
        });
        QObject::connect(m_field, &QLineEdit::returnPressed, m_field, [this] { m_tool.endTyping(); });
        QObject::connect(m_field, &TextMarkField::escapePressed, m_field, [this] { m_editor.escapeKey(); });
        QObject::connect(m_field, &TextMarkField::focusLost, m_field, [this] {
            if (m_tool.editingTextID() && m_tool.editingTextID() == m_fieldMark)
                m_tool.endTyping();
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

    void refresh()
    {
        if (!m_layer || !m_field)
            return;
        const CanvasMapping mapping = m_editor.mapping();
        m_layer->takeOver({m_tool.shownMarks(), m_tool.selectedTextID(), m_tool.editingTextID(), mapping});
        const std::optional<TextMark> typed = m_tool.editingMark();
        if (!typed) {
            if (m_field->isVisible()) {
                if (m_field->hasFocus())
                    m_canvas->setFocus(); // keys go to the sheet again (the delete key)
                m_field->hide();
            }
            m_fieldMark.reset();
            return;
        }
        if (m_fieldMark != typed->id) { // typing starts: the field takes the text and the focus
            m_fieldMark = typed->id;
            m_field->setText(typed->text);
            focusFieldLater();
        }
        placeField();
        m_field->show();
        m_field->raise();
    }

    /// Puts the field over the mark being typed, in the mark's looks, sized for its text.
    void placeField()
    {
        const std::optional<TextMark> typed = m_tool.editingMark();
        if (!typed)
            return;
        const CanvasMapping mapping = m_editor.mapping();
        m_field->place(mapping.toCanvas(typed->position), typed->fontSize * mapping.scale(), typed->colorHex,
                       typed->hasBackground);
    }

    /// The field takes the focus once it is shown (after the update that shows it).
    void focusFieldLater()
    {
        QTimer::singleShot(0, m_field, [field = QPointer<TextMarkField>(m_field)] {
            if (field && field->isVisible())
                field->setFocus(Qt::OtherFocusReason);
        });
    }

    EditorController& m_editor;
    TextTool& m_tool;
    QWidget* m_canvas = nullptr;
    QPointer<TextMarkNSView> m_layer;
    QPointer<TextMarkField> m_field;
    std::optional<QUuid> m_fieldMark;
    std::unique_ptr<ResizeFollower> m_resize;
};

} // namespace

std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, TextTool& tool)
{
    return std::make_unique<TextUi>(editor, tool);
}

} // namespace lumora
