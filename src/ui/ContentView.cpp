#include "ui/ContentView.h"

#include "ui/WatermarkSheet.h"
#include "ui/editor/ZoomableImageEditor.h"

#include "app/KeySequenceTracker.h"
#include "app/PanelTexts.h"
#include "app/PhotoGridModel.h"
#include "fileops/DeleteRestore.h"
#include "fileops/FolderBookmarkStore.h"
#include "platform/Preferences.h"
#include "ui/AdjustmentsPanel.h"
#include "ui/Icons.h"
#include "ui/PhotoGridView.h"
#include "ui/ProgressOverlay.h"
#include "ui/Theme.h"
#include "ui/Toolbar.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QAction>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

namespace lumora {

namespace {

/// The 6 × 6 dot before the status text.
class StatusDot : public QWidget {
public:
    using QWidget::QWidget;
    [[nodiscard]] QSize sizeHint() const override { return {6, 6}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::NoPen);
        painter.setBrush(theme::accent);
        painter.drawEllipse(rect());
    }
};

QLabel* smallLabel(QColor color, int pixels = 11)
{
    auto* label = new QLabel;
    QFont font = label->font();
    font.setPixelSize(pixels);
    font.setWeight(QFont::Medium);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, color);
    label->setPalette(palette);
    return label;
}

QLabel* symbolLabel(const QString& symbol, int side)
{
    auto* label = new QLabel;
    label->setPixmap(icons::pixmap(symbol, side + 3, theme::textMuted, 2.0));
    return label;
}

} // namespace

ContentView::ContentView(AppServices services, LoadPlaces places, QWidget* parent)
    : QMainWindow(parent), m_dialogs(services.dialogs), m_magnifiers(services.magnifiers)
{
    setWindowTitle(QStringLiteral("Lumora Studio"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/lumora-studio.svg")));
    setMinimumSize(760, 540);
    resize(1280, 760);
    setAcceptDrops(false);

    m_flows = std::make_unique<CommandFlows>(m_processor, m_dialogs, services.volumes);
    m_adjustments = std::make_unique<AdjustmentController>(m_processor, m_selection);
    m_loading = std::make_unique<LoadFlow>(m_processor, m_dialogs, std::move(places));
    m_drag = std::make_unique<DragReorder>(m_processor, [this] { m_flows->orderWasChanged = true; });
    m_keys = std::make_unique<KeyHandler>(m_processor, m_selection, *m_adjustments, services.keySequence,
                                          [this] { QTimer::singleShot(0, this, &ContentView::showHiddenView); });
    m_model = new PhotoGridModel(m_processor, this);
    m_folders = std::make_unique<FolderBookmarkStore>(m_dialogs);
    m_watermarkHook = [this] {
        openWatermarkSheet(this, m_fensterGroesse, m_processor, m_watermarkValues, m_selection.ordered());
    };
    m_editorHook = [this](const QUuid& id) {
        openEditorSheet(this, m_fensterGroesse, m_processor, m_dialogs, m_magnifiers, id, m_selection.ordered(),
                        m_folders.get());
    };

    buildActions();
    auto* content = new QWidget(this);
    content->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_band = new ToolbarBand(m_actions, m_info, content);
    column->addWidget(m_band);

    auto* body = new QHBoxLayout;
    body->setSpacing(0);
    auto* gridArea = new QVBoxLayout;
    gridArea->setSpacing(0);
    m_grid = new PhotoGridView(*m_model, m_selection, content);
    gridArea->addWidget(m_grid, 1);
    gridArea->addWidget(buildBottomBar());
    body->addLayout(gridArea, 1);
    auto* divider = new QWidget(content);
    divider->setFixedWidth(1);
    divider->setAutoFillBackground(true);
    QPalette dividerPalette = divider->palette();
    dividerPalette.setColor(QPalette::Window, theme::divider);
    divider->setPalette(dividerPalette);
    body->addWidget(divider);
    m_panel = new AdjustmentsPanel(*m_adjustments, m_processor, m_selection, content);
    body->addWidget(m_panel);
    column->addLayout(body, 1);
    setCentralWidget(content);
    m_overlay = new ProgressOverlay(*m_flows, content);

    wire();
    updateTexts();
    updateActions();
    m_grid->setFocus();

    m_magnifiers.setMainWindow(this);
    m_magnifiers.setFullImageSource(
        [processor = QPointer<ImageProcessor>(&m_processor)](QUuid id, FullImageDelivery deliver) {
            if (!processor)
                return deliver(std::nullopt);
            processor->renderFullSizeInBackground(id, std::move(deliver));
        });
}

ContentView::~ContentView()
{
    // The magnifier manager outlives this window and its processor.
    m_magnifiers.setFullImageSource({});
}

QWidget* ContentView::buildBottomBar()
{
    auto* bar = new QWidget;
    bar->setFixedHeight(30);
    auto* row = new QHBoxLayout(bar);
    row->setContentsMargins(14, 0, 14, 0);
    row->setSpacing(8);
    auto* dot = new StatusDot(bar);
    dot->setFixedSize(6, 6);
    row->addWidget(dot);
    m_status = smallLabel(theme::textMuted);
    row->addWidget(m_status);
    m_count = smallLabel(theme::accent);
    row->addWidget(m_count);
    row->addStretch(1);
    row->addWidget(symbolLabel(QStringLiteral("photo"), 9));
    m_cardSize = new QSlider(Qt::Horizontal, bar);
    m_cardSize->setFixedWidth(100);
    m_cardSize->setFocusPolicy(Qt::NoFocus);
    // Positions are tens of points: 10…40 is 100…400 in steps of 10.
    m_cardSize->setRange(10, 40);
    m_cardSize->setValue(int(m_gridCellSize / 10));
    m_cardSize->setToolTip(QStringLiteral("Kachelgröße"));
    connect(m_cardSize, &QSlider::valueChanged, this, [this](int position) {
        m_gridCellSize = position * 10.0;
        m_grid->setCellSize(m_gridCellSize);
    });
    row->addWidget(m_cardSize);
    row->addWidget(symbolLabel(QStringLiteral("photo.fill"), 13));
    return bar;
}

void ContentView::wire()
{
    connect(&m_processor, &ImageProcessor::photosChanged, this, &ContentView::photosChanged);
    connect(&m_processor, &ImageProcessor::deleteUndoStackChanged, this, &ContentView::updateActions);
    connect(&m_processor, &ImageProcessor::loadProgressChanged, this, &ContentView::updateTexts);
    m_processor.setCardOnScreen([grid = m_grid](const QUuid& id) { return grid->isCardInView(id); });
    connect(&m_selection, &PhotoSelection::selectionChanged, this, [this] {
        updateTexts();
        updateActions();
    });
    connect(&m_selection, &PhotoSelection::allActivatedChanged, this, &ContentView::updateActions);
    connect(m_flows.get(), &CommandFlows::stateChanged, this, &ContentView::updateActions);
    connect(m_flows.get(), &CommandFlows::commandFinished, this, &ContentView::updateActions);
    connect(m_flows.get(), &CommandFlows::commandFinished, m_panel, &AdjustmentsPanel::showFileInfo);
    connect(m_flows.get(), &CommandFlows::selectionCleared, &m_selection, &PhotoSelection::clear);

    connect(m_grid, &PhotoGridView::cardDoubleClicked, this, &ContentView::openMagnifier);
    connect(m_grid, &PhotoGridView::cardContextMenu, this, [this](const QUuid&, const QPoint& where) {
        if (QMenu* menu = makeContextMenu())
            menu->popup(where);
    });
    connect(m_grid, &PhotoGridView::dragStarted, this, [this](const QUuid& id) { m_drag->started(id); });
    connect(m_grid, &PhotoGridView::dragEnteredCard, this,
            [this](const QUuid& target, const QString& payload) { m_drag->entered(target, payload); });
    connect(m_grid, &PhotoGridView::dragEnded, this, [this] { m_drag->ended(); });
    connect(m_grid, &PhotoGridView::filesDropped, this, [this](const QList<QUrl>& urls) { m_loading->drop(urls); });
}

void ContentView::photosChanged(const PhotoChanges& changes)
{
    const qsizetype count = m_processor.photos().size();
    // Ids of photos that left the list would count as selected and enable commands for nothing.
    m_selection.drop(changes.removed);
    if (count != m_lastPhotoCount) {
        m_lastPhotoCount = count;
        updateTexts();
    }
    updateActions();
}

QList<QUuid> ContentView::allIds() const
{
    QList<QUuid> ids;
    for (const PhotoItem& photo : m_processor.photos())
        ids.append(photo.id);
    return ids;
}

void ContentView::updateTexts()
{
    const LoadProgress& loading = m_processor.loadProgress();
    m_status->setText(loading.total > 0 ? panelTexts::loadingText(loading.handled, loading.total)
                                        : panelTexts::statusText(m_processor.photos().size()));
    m_count->setVisible(!m_selection.isEmpty());
    m_count->setText(panelTexts::selectionText(m_selection.size()));
}

QString ContentView::statusText() const
{
    return m_status->text();
}

QString ContentView::selectionCountText() const
{
    return m_count->isHidden() ? QString() : m_count->text();
}

void ContentView::updateActions()
{
    ToolbarInputs in;
    in.photoCount = m_processor.photos().size();
    in.selectionCount = m_selection.size();
    in.canRestore = canRestore(m_processor);
    in.volumePathStored = preferences::contains(QString::fromLatin1(preferences::kLastUsedVolumePath));
    in.allActivated = m_selection.allActivated();
    in.commandRunning = m_flows->running() != CommandFlows::Command::none;
    for (auto it = m_actions.cbegin(); it != m_actions.cend(); ++it) {
        QAction* action = it.value();
        action->setEnabled(toolbar::isEnabled(it.key(), in));
        action->setChecked(toolbar::isActive(it.key(), in));
        action->setText(toolbar::title(it.key(), in));
        action->setProperty("symbol", toolbar::symbol(it.key(), in));
    }
    m_info->setEnabled(!in.commandRunning);
}

void ContentView::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    m_fensterGroesse = centralWidget() ? centralWidget()->size() : size();
}

void ContentView::keyPressEvent(QKeyEvent* event)
{
    if (m_keys->keyDown(KeyInput::from(*event)))
        event->accept();
    else
        QMainWindow::keyPressEvent(event);
}

} // namespace lumora
