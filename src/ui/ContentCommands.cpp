// The main window's commands: the toolbar's actions and their shortcuts, the context menu of
// the selection, the sheets and the magnifier.
#include "ui/ContentView.h"

#include "ui/Icons.h"
#include "ui/InfoSheet.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QAction>
#include <QMenu>

namespace lumora {

namespace {
const QString kFlipH = QStringLiteral("arrow.left.and.right.righttriangle.left.righttriangle.right");
const QString kFlipV = QStringLiteral("arrow.up.and.down.righttriangle.up.righttriangle.down");
} // namespace

void ContentView::buildActions()
{
    for (const ToolbarEntryLook& look : toolbar::entries()) {
        auto* action = new QAction(look.title, this);
        action->setProperty("symbol", look.symbol);
        action->setShortcuts(look.shortcuts);
        action->setShortcutContext(Qt::WindowShortcut);
        action->setCheckable(look.entry == ToolbarEntry::selectAll);
        if (look.isMenu) {
            auto* menu = new QMenu(this);
            QAction* horizontal = menu->addAction(icons::icon(kFlipH), QStringLiteral("Horizontal"));
            QAction* vertical = menu->addAction(icons::icon(kFlipV), QStringLiteral("Vertikal"));
            connect(horizontal, &QAction::triggered, this,
                    [this] { m_processor.flip(m_selection.ids(), FlipDirection::horizontal); });
            connect(vertical, &QAction::triggered, this,
                    [this] { m_processor.flip(m_selection.ids(), FlipDirection::vertical); });
            action->setMenu(menu);
        } else {
            const ToolbarEntry entry = look.entry;
            connect(action, &QAction::triggered, this, [this, entry, action] {
                // A checkable action flips its own state on trigger; the selection decides it.
                action->setChecked(m_selection.allActivated());
                trigger(entry);
            });
        }
        addAction(action); // the shortcuts work wherever the focus is in the window
        m_actions.insert(look.entry, action);
    }
    m_info = new QAction(QStringLiteral("Info"), this);
    m_info->setProperty("symbol", QStringLiteral("info.circle"));
    m_info->setToolTip(QStringLiteral("Info & Funktionen"));
    connect(m_info, &QAction::triggered, this, &ContentView::showInfo);
}

void ContentView::trigger(ToolbarEntry entry)
{
    if (!m_actions.value(entry)->isEnabled())
        return;
    switch (entry) {
    case ToolbarEntry::open: m_loading->open(); break;
    case ToolbarEntry::exportJpg: m_flows->exportJpg(); break;
    case ToolbarEntry::exportPng: m_flows->exportPng(); break;
    case ToolbarEntry::remove: m_flows->requestDelete(m_selection.ids()); break;
    case ToolbarEntry::restore: m_flows->restore(); break;
    case ToolbarEntry::save: m_flows->save(); break;
    case ToolbarEntry::selectAll: m_selection.toggleAll(allIds()); break;
    case ToolbarEntry::eject: m_flows->eject(); break;
    case ToolbarEntry::rotateLeft: m_processor.rotate(m_selection.ids(), RotationDirection::left); break;
    case ToolbarEntry::rotateRight: m_processor.rotate(m_selection.ids(), RotationDirection::right); break;
    case ToolbarEntry::mirror: break; // its menu entries act
    case ToolbarEntry::edit:
        if (m_editorHook)
            m_editorHook(m_selection.first());
        break;
    case ToolbarEntry::watermark:
        if (m_watermarkHook)
            m_watermarkHook();
        break;
    case ToolbarEntry::magnifier: openMagnifier(m_selection.first()); break;
    }
    updateActions(); // a load or an eject may have changed "LastUsedVolumePath"
}

QMenu* ContentView::makeContextMenu()
{
    if (m_selection.isEmpty())
        return nullptr;
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    // Each entry acts on the whole selection, not only on the card that was clicked.
    connect(menu->addAction(icons::icon(QStringLiteral("rotate.left")), QStringLiteral("Links drehen")),
            &QAction::triggered, this, [this] { m_processor.rotate(m_selection.ids(), RotationDirection::left); });
    connect(menu->addAction(icons::icon(QStringLiteral("rotate.right")), QStringLiteral("Rechts drehen")),
            &QAction::triggered, this, [this] { m_processor.rotate(m_selection.ids(), RotationDirection::right); });
    menu->addSeparator();
    connect(menu->addAction(icons::icon(kFlipH), QStringLiteral("Horizontal spiegeln")), &QAction::triggered, this,
            [this] { m_processor.flip(m_selection.ids(), FlipDirection::horizontal); });
    connect(menu->addAction(icons::icon(kFlipV), QStringLiteral("Vertikal spiegeln")), &QAction::triggered, this,
            [this] { m_processor.flip(m_selection.ids(), FlipDirection::vertical); });
    return menu;
}

void ContentView::openMagnifier(const QUuid& id)
{
    const PhotoItem* photo = m_processor.photo(id);
    if (!photo || !photo->preview)
        return;
    m_magnifiers.oeffnen(*photo->preview, photo->url.fileName(), id);
}

void ContentView::showInfo()
{
    auto* sheet = new InfoSheet(m_fensterGroesse, this);
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

void ContentView::showHiddenView()
{
    auto* view = new HiddenView(this);
    view->setAttribute(Qt::WA_DeleteOnClose);
    view->open();
}

} // namespace lumora
