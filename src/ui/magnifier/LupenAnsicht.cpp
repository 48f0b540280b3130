#include "ui/magnifier/LupenAnsicht.h"

#include "app/magnifier/LupenBildModell.h"
#include "ui/Theme.h"
#include "ui/magnifier/LupenKnopf.h"
#include "ui/magnifier/SchwenkbareBildAnsicht.h"

#include <QAction>
#include <QBoxLayout>
#include <QLabel>

namespace lumora {

namespace {

// The help texts name the keys as they are labelled on this platform (Strg = Ctrl).
const char* const kHelpZoomOut = "Verkleinern (Strg −)";
const char* const kHelpZoomIn = "Vergrößern (Strg +)";
const char* const kHelpFit = "Bild ans Fenster anpassen (Strg 0)";
const char* const kHelpActualSize = "Originalgröße (Strg 1)";

void fillBackground(QWidget* widget, QColor background)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::WindowText, theme::text);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

/// A separator line: `breite` 0 stretches it across the layout.
QWidget* separatorLine(int breite, int hoehe)
{
    auto* line = new QWidget;
    line->setFixedHeight(hoehe);
    if (breite > 0)
        line->setFixedWidth(breite);
    fillBackground(line, theme::divider);
    return line;
}

} // namespace

LupenAnsicht::LupenAnsicht(LupenBildModell* modell, QWidget* parent) : QWidget(parent), m_modell(modell)
{
    setMinimumSize(500, 400);
    fillBackground(this, theme::window);

    m_zoomOutAction =
        addCommand(QString::fromUtf8(kHelpZoomOut), {QKeySequence(Qt::CTRL | Qt::Key_Minus)}, &MagnifierZoom::zoomOut);
    // Ctrl = too: on layouts where + needs Shift, that is the key the user presses.
    m_zoomInAction = addCommand(QString::fromUtf8(kHelpZoomIn),
                                {QKeySequence(Qt::CTRL | Qt::Key_Plus), QKeySequence(Qt::CTRL | Qt::Key_Equal)},
                                &MagnifierZoom::zoomIn);
    m_fitAction =
        addCommand(QString::fromUtf8(kHelpFit), {QKeySequence(Qt::CTRL | Qt::Key_0)}, &MagnifierZoom::enterFitMode);
    m_actualSizeAction = addCommand(QString::fromUtf8(kHelpActualSize), {QKeySequence(Qt::CTRL | Qt::Key_1)},
                                    &MagnifierZoom::actualSize);

    m_surface = new SchwenkbareBildAnsicht;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(buildToolbar());
    column->addWidget(separatorLine(0, 1));
    column->addWidget(m_surface, 1);

    m_zoom.setImageSize(QSizeF(m_modell->pixelSize()));
    connect(m_surface, &SchwenkbareBildAnsicht::areaChanged, this, [this](QSizeF area) {
        m_zoom.setArea(area);
        refresh();
    });
    connect(m_modell, &LupenBildModell::rasterChanged, this, &LupenAnsicht::refresh);
    connect(m_modell, &LupenBildModell::imageChanged, this, [this] {
        m_zoom.setImageSize(QSizeF(m_modell->pixelSize()));
        refresh();
    });
    refresh();
}

QAction* LupenAnsicht::addCommand(const QString& help, QList<QKeySequence> keys, void (MagnifierZoom::*command)())
{
    auto* action = new QAction(help, this);
    action->setToolTip(help);
    action->setShortcuts(keys);
    action->setShortcutContext(Qt::WindowShortcut);
    addAction(action);
    connect(action, &QAction::triggered, this, [this, command] {
        (m_zoom.*command)();
        refresh();
    });
    return action;
}

QWidget* LupenAnsicht::buildToolbar()
{
    auto* bar = new QWidget;
    fillBackground(bar, theme::bar);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(10);

    m_zoomOutButton = new LupenKnopf(LupenKnopf::Symbol::Minus);
    m_zoomInButton = new LupenKnopf(LupenKnopf::Symbol::Plus);
    m_percent = new QLabel;
    m_percent->setFixedWidth(60);
    m_percent->setAlignment(Qt::AlignCenter);
    m_fitButton = new LupenTextKnopf(QStringLiteral("Einpassen"));
    m_actualSizeButton = new LupenTextKnopf(QStringLiteral("100 %"));

    const std::pair<QAbstractButton*, QAction*> pairs[] = {
        {m_zoomOutButton, m_zoomOutAction},
        {m_zoomInButton, m_zoomInAction},
        {m_fitButton, m_fitAction},
        {m_actualSizeButton, m_actualSizeAction},
    };
    for (const auto& [button, action] : pairs) {
        button->setToolTip(action->toolTip());
        connect(button, &QAbstractButton::clicked, action, &QAction::trigger);
    }

    row->addWidget(m_zoomOutButton);
    row->addWidget(m_percent);
    row->addWidget(m_zoomInButton);
    row->addWidget(separatorLine(1, 18));
    row->addWidget(m_fitButton);
    row->addWidget(m_actualSizeButton);
    row->addStretch(1);
    return bar;
}

void LupenAnsicht::refresh()
{
    const QSizeF display = m_zoom.displaySize();
    const QImage raster = m_modell->rasterFor(display * devicePixelRatioF());
    m_surface->refresh(raster, display.width(), display.height(), MagnifierZoom::rand);
    m_percent->setText(m_zoom.percentText());
    m_fitButton->setHighlighted(m_zoom.fitHighlighted());
    m_actualSizeButton->setHighlighted(m_zoom.actualSizeHighlighted());
}

} // namespace lumora
