// The panel of the background mode; its canvas feedback is the composite itself.
#include "ui/editor/BackgroundUi.h"

#include "app/editor/BackgroundTool.h"
#include "app/editor/EditorController.h"
#include "pipeline/ColorHex.h"
#include "ui/Theme.h"
#include "ui/editor/ColorButton.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace lumora {

namespace {

const QColor kErrorRed{0xFF, 0x45, 0x3A};

// The panel's widgets, shown and filled from the editor's state on every change.
class BackgroundPanel : public QWidget {
public:
    BackgroundPanel(EditorController& editor, BackgroundTool& tool, Dialogs& dialogs) : m_editor(editor), m_tool(tool)
    {
        setObjectName(QStringLiteral("backgroundPanel"));
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(8);
        row->addWidget(styledLabel(QStringLiteral("Hintergrund:"), 11, QFont::Medium));

        m_busy = new QProgressBar(this);
        m_busy->setRange(0, 0); // an indicator without a known end
        m_busy->setTextVisible(false);
        m_busy->setFixedSize(60, 8);
        row->addWidget(m_busy);
        m_status = styledLabel({}, 11, QFont::Normal, theme::textMuted);
        row->addWidget(m_status);
        m_error = styledLabel({}, 11, QFont::Medium, kErrorRed);
        m_error->setObjectName(QStringLiteral("backgroundError"));
        // A long message (a missing model names its path) wraps in the room the row has left,
        // rather than widening the sheet past a small screen.
        m_error->setWordWrap(true);
        m_error->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
        row->addWidget(m_error, 1);

        m_color = new ColorButton(dialogs,
                                  {[&tool] { return hexFromColor(tool.freistellerFarbe()); },
                                   [&tool](const QString& hex) { tool.setColor(colorOr(hex, Qt::white)); }},
                                  Qt::white, false, this);
        row->addWidget(m_color);
        m_transparent = new QCheckBox(QStringLiteral("Transparent"), this);
        connect(m_transparent, &QCheckBox::toggled, this, [&tool](bool on) {
            if (on != tool.freistellerTransparent())
                tool.setTransparent(on);
        });
        row->addWidget(m_transparent);
        m_photo = new QPushButton(QStringLiteral("Foto wählen…"), this);
        m_photo->setAutoDefault(false);
        connect(m_photo, &QPushButton::clicked, this, [&tool] { tool.chooseBackgroundPhoto(); });
        row->addWidget(m_photo);
        m_notes = styledLabel({}, 11, QFont::Normal, theme::textMuted);
        row->addWidget(m_notes);
        row->addStretch();

        connect(&editor, &EditorController::changed, this, &BackgroundPanel::refresh);
        refresh();
    }

private:
    void refresh()
    {
        const bool result = m_tool.hasMask();
        const bool applying = m_tool.isFreistellerAnwenden();
        m_busy->setVisible(m_tool.freistellerLaeuft() || m_tool.isLoadingBackground() || applying);
        m_status->setVisible(!result || applying);
        m_status->setText(m_tool.statusLine());
        m_error->setVisible(m_tool.freistellerFehler().has_value());
        m_error->setText(m_tool.freistellerFehler().value_or(QString()));
        for (QWidget* control : {static_cast<QWidget*>(m_color), static_cast<QWidget*>(m_transparent),
                                 static_cast<QWidget*>(m_photo), static_cast<QWidget*>(m_notes)})
            control->setVisible(result);
        m_color->setEnabled(!applying);
        m_transparent->setEnabled(!applying);
        m_photo->setEnabled(!applying);
        if (m_transparent->isChecked() != m_tool.freistellerTransparent()) {
            const QSignalBlocker quiet(m_transparent);
            m_transparent->setChecked(m_tool.freistellerTransparent());
        }
        m_notes->setText(m_tool.noteLines().join(QStringLiteral("   ")));
        m_color->update();
    }

    EditorController& m_editor;
    BackgroundTool& m_tool;
    QProgressBar* m_busy = nullptr;
    QLabel* m_status = nullptr;
    QLabel* m_error = nullptr;
    ColorButton* m_color = nullptr;
    QCheckBox* m_transparent = nullptr;
    QPushButton* m_photo = nullptr;
    QLabel* m_notes = nullptr;
};

class BackgroundUi : public EditorToolUi {
public:
    BackgroundUi(EditorController& editor, BackgroundTool& tool) : m_editor(editor), m_tool(tool) {}

    QWidget* makePanel(Dialogs& dialogs) override { return new BackgroundPanel(m_editor, m_tool, dialogs); }
    void paint(QPainter&, const CanvasMapping&) const override {}
    QRectF changingArea(const CanvasMapping&) const override { return {}; }

private:
    EditorController& m_editor;
    BackgroundTool& m_tool;
};

} // namespace

std::unique_ptr<EditorToolUi> makeToolUi(EditorController& editor, BackgroundTool& tool)
{
    return std::make_unique<BackgroundUi>(editor, tool);
}

} // namespace lumora
