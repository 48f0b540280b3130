// The crop tool's panel (size row, buttons, tip or progress line) and its frame on the canvas.
#include "ui/editor/CropUi.h"

#include "app/editor/CanvasMapping.h"
#include "app/editor/CropTool.h"
#include "app/editor/EditorController.h"
#include "ui/Theme.h"
#include "ui/editor/CropOverlayView.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <algorithm>

namespace lumora {

namespace {

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

/// A one-line label that cuts its text with "…" to the width it is given, and shows all of it
/// as its tool tip; it asks for no width of its own.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent) : QLabel(parent)
    {
        setMinimumWidth(40);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        QPalette p = palette();
        p.setColor(QPalette::WindowText, theme::textMuted);
        setPalette(p);
        QFont f = font();
        f.setPixelSize(11);
        setFont(f);
    }
    void setFullText(const QString& text)
    {
        if (text == m_full)
            return;
        m_full = text;
        setToolTip(text);
        elide();
    }
    [[nodiscard]] const QString& fullText() const { return m_full; }

protected:
    void resizeEvent(QResizeEvent* event) override
    {
        QLabel::resizeEvent(event);
        elide();
    }

private:
    void elide() { setText(fontMetrics().elidedText(m_full, Qt::ElideRight, std::max(width(), 0))); }

    QString m_full;
};

class CropUi : public EditorToolUi {
public:
    CropUi(EditorController& editor, CropTool& tool) : m_editor(editor), m_tool(tool) {}

    QWidget* makePanel(Dialogs&) override
    {
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
        // The tip takes what room is left and is cut with "…" where there is none, so the sheet
        // fits a small screen; the whole tip is its tool tip.
        auto* tip = new ElidedLabel(panel);
        tip->setObjectName(QStringLiteral("cropTipLine"));
        row->addWidget(tip, 1);

        CropTool& tool = m_tool;
        auto typed = [&tool, width, height] { tool.setCropMass(width->text(), height->text()); };
        QObject::connect(width, &QLineEdit::textEdited, panel, typed);
        QObject::connect(height, &QLineEdit::textEdited, panel, typed);
        QObject::connect(setButton, &QPushButton::clicked, panel, [&tool] { tool.setFrameFromSize(); });
        QObject::connect(cancel, &QPushButton::clicked, panel, [&tool] { tool.removeFrame(); });
        QObject::connect(applyButton, &QPushButton::clicked, panel, [&tool] { tool.apply(false); });
        QObject::connect(batch, &QPushButton::clicked, panel, [&tool] { tool.apply(true); });

        auto refresh = [&tool, width, height, setButton, cancel, applyButton, batch, tip] {
            if (width->text() != tool.cropMassBreite())
                width->setText(tool.cropMassBreite());
            if (height->text() != tool.cropMassHoehe())
                height->setText(tool.cropMassHoehe());
            const auto running = tool.progress();
            const bool idle = !running && !tool.isCropping();
            const bool framed = tool.cropRect().has_value();
            setButton->setEnabled(idle);
            cancel->setEnabled(idle && framed);
            applyButton->setEnabled(idle && framed);
            batch->setEnabled(idle && framed);
            batch->setText(tool.batchButtonLabel());
            tip->setFullText(
                running ? QStringLiteral("Zuschneiden … %1 von %2 Fotos").arg(running->first).arg(running->second)
                        : tool.tipLine());
        };
        QObject::connect(&m_editor, &EditorController::changed, panel, refresh);
        refresh();
        return panel;
    }

    void paint(QPainter& painter, const CanvasMapping& mapping) const override
    {
        if (m_editor.drawingMode() != DrawingMode::crop || !m_tool.cropRect())
            return;
        CropOverlayView overlay;
        overlay.cropRect = mapping.toCanvas(*m_tool.cropRect());
        overlay.totalSize = mapping.canvas;
        const std::optional<QSize> pixels = m_tool.pixelLabel();
        overlay.withLabel = pixels.has_value();
        if (pixels) {
            overlay.pixelBreite = pixels->width();
            overlay.pixelHoehe = pixels->height();
        }
        overlay.paint(painter);
    }

    QRectF changingArea(const CanvasMapping& mapping) const override
    {
        // The darkening covers the whole canvas: a moving frame changes all of it.
        if (m_editor.drawingMode() != DrawingMode::crop || !m_tool.cropRect())
            return {};
        return QRectF(QPointF(0, 0), mapping.canvas);
    }

private:
    EditorController& m_editor;
    CropTool& m_tool;
};

} // namespace

std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, CropTool& tool)
{
    return std::make_unique<CropUi>(editor, tool);
}

} // namespace lumora
