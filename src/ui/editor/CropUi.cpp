// The crop tool's panel (size row, buttons, tip or progress line) and its frame on the canvas.
#include "ui/editor/EditorToolUi.h"

#include "app/editor/CropTool.h"
#include "app/editor/EditorController.h"
#include "ui/Theme.h"
#include "ui/editor/CropOverlayView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpressionValidator>

namespace lumora {

namespace {

CropTool* cropToolOf(const EditorController* editor)
{
    return editor ? static_cast<CropTool*>(editor->tool(DrawingMode::crop)) : nullptr;
}

QLineEdit* sizeField(const QString& placeholder, const QString& name, QWidget* parent)
{
    auto* field = new QLineEdit(parent);
    field->setPlaceholderText(placeholder);
    field->setObjectName(name);
    field->setFixedWidth(64);
    field->setAlignment(Qt::AlignRight);
    // Whole pixels only; "Setzen" ignores anything that is not above 0.
    field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,6}")), field));
    field->setStyleSheet(QStringLiteral("QLineEdit { border: 1px solid rgb(90,90,95); border-radius: 5px;"
                                        " padding: 1px 5px; background: rgb(40,40,42); }"));
    return field;
}

QPushButton* panelButton(const QString& text, const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
}

class CropUi : public EditorToolUi {
public:
    DrawingMode mode() const override { return DrawingMode::crop; }

    QWidget* makePanel(EditorController& editor, Dialogs&) override
    {
        m_editor = &editor;
        auto* panel = new QWidget;
        auto* row = new QHBoxLayout(panel);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(6);
        row->addWidget(styledLabel(QStringLiteral("Größe:"), 11, QFont::Medium));
        auto* width = sizeField(QStringLiteral("Breite"), QStringLiteral("cropWidthField"), panel);
        auto* height = sizeField(QStringLiteral("Höhe"), QStringLiteral("cropHeightField"), panel);
        row->addWidget(width);
        row->addWidget(height);
        row->addWidget(styledLabel(QStringLiteral("px"), 11, QFont::Normal, theme::textMuted));
        auto* setButton = panelButton(QStringLiteral("Setzen"), QStringLiteral("cropSetButton"), panel);
        row->addWidget(setButton);
        row->addSpacing(10);
        auto* cancel = panelButton(QStringLiteral("Abbrechen"), QStringLiteral("cropCancelButton"), panel);
        auto* applyButton = panelButton(QStringLiteral("Anwenden"), QStringLiteral("cropApplyButton"), panel);
        applyButton->setDefault(true); // Return in the sheet applies the crop
        auto* batch = panelButton({}, QStringLiteral("cropBatchButton"), panel);
        row->addWidget(cancel);
        row->addWidget(applyButton);
        row->addWidget(batch);
        auto* tip = styledLabel({}, 11, QFont::Normal, theme::textMuted);
        tip->setObjectName(QStringLiteral("cropTipLine"));
        row->addWidget(tip, 1);

        EditorController* e = &editor;
        QObject::connect(width, &QLineEdit::textEdited, panel,
                         [e](const QString& text) { e->state().cropMassBreite = text; });
        QObject::connect(height, &QLineEdit::textEdited, panel,
                         [e](const QString& text) { e->state().cropMassHoehe = text; });
        QObject::connect(setButton, &QPushButton::clicked, panel, [e] { cropToolOf(e)->setFrameFromSize(); });
        QObject::connect(cancel, &QPushButton::clicked, panel, [e] { cropToolOf(e)->removeFrame(); });
        QObject::connect(applyButton, &QPushButton::clicked, panel, [e] { cropToolOf(e)->apply(false); });
        QObject::connect(batch, &QPushButton::clicked, panel, [e] { cropToolOf(e)->apply(true); });

        auto refresh = [e, width, height, setButton, cancel, applyButton, batch, tip] {
            const CropTool* tool = cropToolOf(e);
            const EditorState& s = e->state();
            if (width->text() != s.cropMassBreite)
                width->setText(s.cropMassBreite);
            if (height->text() != s.cropMassHoehe)
                height->setText(s.cropMassHoehe);
            const auto running = tool->progress();
            const bool idle = !running && !s.isCropping;
            setButton->setEnabled(idle);
            cancel->setEnabled(idle && s.cropRect);
            applyButton->setEnabled(idle && s.cropRect);
            batch->setEnabled(idle && s.cropRect);
            batch->setText(tool->batchButtonLabel());
            tip->setText(running
                             ? QStringLiteral("Zuschneiden … %1 von %2 Fotos").arg(running->first).arg(running->second)
                             : tool->tipLine());
        };
        QObject::connect(&editor, &EditorController::changed, panel, refresh);
        refresh();
        return panel;
    }

    void paint(QPainter& painter, const EditorState& state) const override
    {
        if (state.drawingMode != DrawingMode::crop || !state.cropRect)
            return;
        CropOverlayView overlay;
        overlay.cropRect = *state.cropRect;
        overlay.totalSize = m_editor ? m_editor->canvasSize() : QSizeF(painter.window().size());
        const CropTool* tool = cropToolOf(m_editor);
        const std::optional<QSize> pixels = tool ? tool->pixelLabel() : std::nullopt;
        overlay.withLabel = pixels.has_value();
        if (pixels) {
            overlay.pixelBreite = pixels->width();
            overlay.pixelHoehe = pixels->height();
        }
        overlay.paint(painter);
    }

    QRectF changingArea(const EditorState& state) const override
    {
        // The darkening covers the whole canvas: a moving frame changes all of it.
        if (state.drawingMode != DrawingMode::crop || !state.cropRect || !m_editor)
            return {};
        return QRectF(QPointF(0, 0), m_editor->canvasSize());
    }

private:
    QPointer<EditorController> m_editor;
};

} // namespace

std::unique_ptr<EditorToolUi> makeCropUi()
{
    return std::make_unique<CropUi>();
}

} // namespace lumora
