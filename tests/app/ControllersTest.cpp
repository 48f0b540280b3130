#include "app/AdjustmentController.h"
#include "app/GridLayout.h"
#include "app/KeySequenceTracker.h"
#include "app/PanelTexts.h"
#include "app/PhotoDropDelegate.h"
#include "app/PhotoSelection.h"
#include "app/ToolbarRules.h"

#include <QSet>
#include <gtest/gtest.h>
#include <tuple>

using namespace lumora;

namespace {

QList<QUuid> fiveIds()
{
    QList<QUuid> ids;
    for (int i = 0; i < 5; ++i)
        ids.append(QUuid::createUuid());
    return ids;
}

} // namespace

TEST(PhotoSelection, ClicksShiftClicksTheSelectAllToggleDoubleClicksAndGoneIds)
{
    const QList<QUuid> ids = fiveIds();
    PhotoSelection selection;
    selection.click(ids[0], false);
    selection.click(ids[2], true);
    selection.click(ids[4], true);
    EXPECT_EQ(selection.ordered(), (QList<QUuid>{ids[0], ids[2], ids[4]}));
    EXPECT_EQ(selection.first(), ids[0]);

    selection.click(ids[2], true); // Shift on a selected card takes it out
    EXPECT_EQ(selection.ordered(), (QList<QUuid>{ids[0], ids[4]}));
    selection.click(ids[4], false); // a plain click on a selected card keeps only that one
    EXPECT_EQ(selection.ordered(), QList<QUuid>{ids[4]});

    selection.toggleAll(ids);
    EXPECT_TRUE(selection.allActivated());
    EXPECT_EQ(selection.ordered(), ids);
    selection.click(ids[1], true); // any click turns the toggle back to "Alle"
    EXPECT_FALSE(selection.allActivated());
    EXPECT_EQ(selection.size(), 4);
    selection.toggleAll(ids); // toggle off → select all again, since it was reset
    EXPECT_EQ(selection.size(), 5);
    selection.toggleAll(ids);
    EXPECT_TRUE(selection.isEmpty());
    EXPECT_FALSE(selection.allActivated());

    // A double click selects that photo alone; ids of photos gone are dropped.
    selection.selectAll(ids);
    selection.doubleClick(ids[3]);
    EXPECT_EQ(selection.ordered(), QList<QUuid>{ids[3]});
    EXPECT_FALSE(selection.allActivated());

    selection.selectAll(ids);
    selection.drop({ids[0], ids[2], ids[4]});
    EXPECT_EQ(selection.ordered(), (QList<QUuid>{ids[1], ids[3]}));
}

TEST(PhotoDropDelegate, TheDraggedPhotoTakesTheTargetsPlace)
{
    const QList<QUuid> ids = fiveIds();
    const auto named = [&](const QList<QUuid>& order) {
        QString names;
        for (const QUuid& id : order)
            names += QString::number(ids.indexOf(id) + 1);
        return names;
    };
    EXPECT_EQ(named(PhotoDropDelegate::moved(ids, ids[0], ids[3])), QStringLiteral("23415"));
    EXPECT_EQ(named(PhotoDropDelegate::moved(ids, ids[3], ids[0])), QStringLiteral("41235"));
    EXPECT_EQ(named(PhotoDropDelegate::moved(ids, ids[1], ids[2])), QStringLiteral("13245"));
    EXPECT_EQ(named(PhotoDropDelegate::moved(ids, ids[2], ids[2])), QStringLiteral("12345"));
    EXPECT_EQ(named(PhotoDropDelegate::moved(ids, QUuid::createUuid(), ids[2])), QStringLiteral("12345"));
    EXPECT_EQ(named(PhotoDropDelegate::moved(ids, ids[2], QUuid::createUuid())), QStringLiteral("12345"));

    QList<PhotoItem> photos(3);
    const QList<PhotoItem> before = photos;
    EXPECT_FALSE(PhotoDropDelegate{photos[1].id}.dropEntered(photos, std::nullopt));
    EXPECT_TRUE(PhotoDropDelegate{photos[0].id}.dropEntered(photos, photos[2].id));
    EXPECT_EQ(photos[0].id, before[2].id);
    EXPECT_EQ(photos[1].id, before[0].id);
}

TEST(ToolbarRules, EnabledWithNoOneAndTwoPhotosAndASelectionAndEdgeFadesFollowTheScroll)
{
    using E = ToolbarEntry;
    const auto enabled = [](const ToolbarInputs& in) {
        QSet<E> on;
        for (const ToolbarEntryLook& look : toolbar::entries()) {
            if (toolbar::isEnabled(look.entry, in))
                on.insert(look.entry);
        }
        return on;
    };
    EXPECT_EQ(enabled({}), QSet<E>{E::open});
    EXPECT_EQ(enabled({.canRestore = true, .volumePathStored = true}), (QSet<E>{E::open, E::restore, E::eject}));
    const QSet<E> listRules = {E::open,       E::exportJpg,   E::exportPng, E::save,     E::selectAll,
                               E::rotateLeft, E::rotateRight, E::mirror,    E::watermark};
    EXPECT_EQ(enabled({.photoCount = 1}), listRules);
    EXPECT_EQ(enabled({.photoCount = 2}), listRules);
    EXPECT_EQ(enabled({.photoCount = 2, .selectionCount = 1}), (listRules + QSet<E>{E::remove, E::edit, E::magnifier}));
    EXPECT_EQ(enabled({.photoCount = 2, .selectionCount = 2}), (listRules + QSet<E>{E::remove, E::edit}));
    // While a command runs nothing starts another one, not even by its shortcut.
    EXPECT_TRUE(enabled({.photoCount = 2, .selectionCount = 1, .canRestore = true, .commandRunning = true}).isEmpty());

    EXPECT_EQ(toolbar::title(E::selectAll, {.photoCount = 2, .allActivated = true}), QStringLiteral("Abwählen"));
    EXPECT_EQ(toolbar::title(E::selectAll, {.photoCount = 2}), QStringLiteral("Alle"));

    // The edge fades follow the scroll geometry.
    EXPECT_FALSE((ToolbarUeberlauf{0, 800, 900}.canScrollLeft()));
    EXPECT_FALSE((ToolbarUeberlauf{0, 800, 900}.canScrollRight())); // everything fits
    EXPECT_FALSE((ToolbarUeberlauf{2, 900, 600}.canScrollLeft()));  // exactly 2 does not count yet
    EXPECT_TRUE((ToolbarUeberlauf{3, 900, 600}.canScrollLeft()));
    EXPECT_TRUE((ToolbarUeberlauf{0, 900, 600}.canScrollRight()));
    EXPECT_FALSE((ToolbarUeberlauf{298, 900, 600}.canScrollRight())); // within 2 of the end
    EXPECT_TRUE((ToolbarUeberlauf{297, 900, 600}.canScrollRight()));
}

TEST(PanelTexts, StatusAndSliderValueTexts)
{
    EXPECT_EQ(panelTexts::statusText(1), QStringLiteral("1 Foto importiert"));

    using F = AdjustmentField;
    const std::tuple<F, double, const char*> cases[] = {
        {F::exposure, 2, "+200 %"},   {F::exposure, -0.35, "-35 %"}, {F::brightness, -1e-12, "+0 %"}, // never "-0 %"
        {F::contrast, 1, "+0 %"},     {F::contrast, 0, "-100 %"},    {F::saturation, 1, "100 %"},
        {F::sharpness, 0.45, "45 %"},
    };
    for (const auto& [field, value, text] : cases)
        EXPECT_EQ(sliders::valueText(field, value), QString::fromUtf8(text)) << text;
    EXPECT_EQ(panelTexts::shortcutText(QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Backspace)),
              QStringLiteral("Strg+Alt+Rücktaste"));
}

TEST(GridLayout, AdaptiveColumnsBetweenTheCellSizeAndSixtyMore)
{
    GridLayout grid;
    grid.setCellSize(190);
    grid.setWidth(1000); // 976 available: floor(984 / 198) = 4 columns of 238
    grid.setPictureSizes({QSizeF(300, 200), QSizeF(), QSizeF(200, 300), QSizeF(300, 200), QSizeF(300, 200)});
    EXPECT_EQ(grid.columns(), 4);
    EXPECT_DOUBLE_EQ(grid.cellWidth(), 238);
    EXPECT_DOUBLE_EQ(grid.cardRect(0).left(), 12);
    EXPECT_DOUBLE_EQ(grid.cardRect(1).left(), 12 + 238 + 8);
    EXPECT_DOUBLE_EQ(grid.cardRect(1).height(), 150 + 12); // placeholder
    // The portrait card sets the row height; the others sit centred in it.
    const double tallest = (238 - 12) * 1.5 + 12;
    EXPECT_DOUBLE_EQ(grid.cardRect(2).top(), 12);
    EXPECT_DOUBLE_EQ(grid.cardRect(0).center().y(), grid.cardRect(2).center().y());
    EXPECT_DOUBLE_EQ(grid.cardRect(4).top(), 12 + tallest + 8);
    EXPECT_EQ(grid.indexAt(grid.cardRect(3).center()), 3);
    EXPECT_EQ(grid.indexAt({5, 5}), -1);
    EXPECT_EQ(grid.range(0, 10), (std::pair<qsizetype, qsizetype>{0, 0})); // only the margin
    EXPECT_EQ(grid.range(0, 20), (std::pair<qsizetype, qsizetype>{0, 4}));
    EXPECT_EQ(grid.range(tallest + 30, tallest + 40), (std::pair<qsizetype, qsizetype>{4, 5}));

    grid.setCellSize(400); // at 400 a card may grow to 460, and no wider
    grid.setWidth(520);
    EXPECT_EQ(grid.columns(), 1);
    EXPECT_DOUBLE_EQ(grid.cellWidth(), 460);
    EXPECT_DOUBLE_EQ(grid.cardRect(0).center().x(), 260); // the narrower grid stays centred
    grid.setWidth(1400);
    EXPECT_EQ(grid.columns(), 3);
}

TEST(KeySequenceTracker, SequenceWithPausesUnderAndOverTwoSeconds)
{
    const QStringList& keys = KeySequenceTracker::reihenfolge();
    qint64 now = 0;
    KeySequenceTracker tracker([&] { return now; });
    for (qsizetype i = 0; i < keys.size(); ++i) {
        now += 1900;
        EXPECT_EQ(tracker.press(keys[i]), i == keys.size() - 1) << i;
    }
    EXPECT_EQ(tracker.aktuellerIndex(), 0);

    tracker.press(keys[0]);
    tracker.press(keys[1]);
    now += 2001; // too long a pause: the timer has reset the count
    EXPECT_FALSE(tracker.press(keys[2]));
    EXPECT_EQ(tracker.aktuellerIndex(), 0);
}
