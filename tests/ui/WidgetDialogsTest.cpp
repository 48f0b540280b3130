#include "ui/WidgetDialogs.h"

#include <QAbstractProxyModel>
#include <QApplication>
#include <QDateTime>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLocale>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

/// Runs `act` on the modal dialog once the call that shows it has entered the dialog's event loop.
void whenModal(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, qApp, [act] {
        QWidget* modal = QApplication::activeModalWidget();
        ASSERT_NE(modal, nullptr);
        act(modal);
    });
}

QuestionRequest deleteQuestion()
{
    return QuestionRequest{QStringLiteral("Löschen?"),
                           QStringLiteral("Die Dateien kommen in den Papierkorb."),
                           {{QStringLiteral("Abbrechen"), DialogButton::Role::cancel},
                            {QStringLiteral("In den Papierkorb"), DialogButton::Role::destructive}},
                           0,
                           1};
}

} // namespace

TEST(WidgetDialogs, AFolderPanelRestrictedToOneFolderConfirmsNoOther)
{
    QTemporaryDir allowed, other;
    WidgetDialogs dialogs;
    bool stayedOpen = false;
    QString messageShown, refusalShown;
    whenModal([&](QWidget* modal) {
        auto* panel = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(panel, nullptr);
        auto* note = panel->findChild<QLabel*>(QStringLiteral("folderPanelMessage"));
        ASSERT_NE(note, nullptr);
        messageShown = note->text();
        panel->setDirectory(other.path());
        static_cast<QDialog*>(panel)->accept(); // the panel's own check runs (virtual)
        stayedOpen = panel->isVisible();
        refusalShown = note->text();
        panel->setDirectory(allowed.path());
        static_cast<QDialog*>(panel)->accept(); // the panel's own check runs (virtual)
    });
    const std::optional<QString> chosen = dialogs.chooseFolder(FolderPanelRequest{
        QStringLiteral("Ordner wählen"), QStringLiteral("Zugriff erlauben"), QStringLiteral("Nur einmal nötig."),
        other.path(), QDir(allowed.path()).absolutePath(), false});
    EXPECT_TRUE(stayedOpen);
    EXPECT_EQ(chosen, std::optional<QString>(QDir(allowed.path()).absolutePath()));
    EXPECT_EQ(messageShown, QStringLiteral("Nur einmal nötig."));
    EXPECT_TRUE(refusalShown.contains(QDir(allowed.path()).absolutePath())) << refusalShown.toStdString();
}

TEST(WidgetDialogs, QtsOwnPanelsAndMenusSpeakGerman)
{
    ASSERT_TRUE(installGermanQtTexts());
    for (const auto& [context, english] :
         {std::pair{"QFileDialog", "Look in:"}, std::pair{"QFileDialog", "File &name:"},
          std::pair{"QLineEdit", "&Undo"}, std::pair{"QColorDialog", "&Red:"}}) {
        const QString shown = QCoreApplication::translate(context, english);
        EXPECT_NE(shown, QString::fromLatin1(english)) << context << " " << english;
    }
}

// A message or question asked while a sheet is open stands over the sheet, and afterwards the
// keyboard belongs to the sheet again (its shortcuts work), not to the window behind it. In a
// question Escape chooses the escape button (nothing when there is none), Return the default.
TEST(WidgetDialogs, DialogsOverAnOpenSheetAnswerKeysAndGiveItTheKeyboardBack)
{
    QWidget window;
    window.resize(600, 400);
    window.show();
    QDialog sheet(&window);
    sheet.setWindowModality(Qt::WindowModal);
    sheet.show();
    sheet.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&sheet));
    WidgetDialogs dialogs(&window);
    QWidget* over = nullptr;
    whenModal([&over](QWidget* modal) {
        over = modal->parentWidget();
        QTest::keyClick(modal, Qt::Key_Return);
    });
    dialogs.inform(QStringLiteral("Zuschneiden"), QStringLiteral("1 Foto zugeschnitten und überschrieben."));
    EXPECT_EQ(over, &sheet);
    EXPECT_TRUE(QTest::qWaitForWindowActive(&sheet));
    whenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(dialogs.ask(deleteQuestion()), std::optional<int>(0));
    EXPECT_TRUE(QTest::qWaitForWindowActive(&sheet));
    EXPECT_EQ(QApplication::activeWindow(), &sheet);

    whenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Return); });
    EXPECT_EQ(dialogs.ask(deleteQuestion()), std::optional<int>(1));
    QuestionRequest noEscape = deleteQuestion();
    noEscape.escapeButton.reset();
    whenModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(dialogs.ask(noEscape), std::nullopt);
}

namespace {

/// What the file panel shows in its size and date columns for `path`.
QStringList shownColumns(QFileDialog* panel, const QString& path)
{
    auto* proxy = panel->proxyModel();
    auto* files = proxy ? qobject_cast<QFileSystemModel*>(proxy->sourceModel()) : nullptr;
    if (!files)
        return {};
    const QModelIndex name = proxy->mapFromSource(files->index(path));
    return {name.siblingAtColumn(1).data().toString(), name.siblingAtColumn(3).data().toString()};
}

} // namespace

TEST(WidgetDialogs, FilePanelsShowGermanNumbersSizesAndDatesWhateverTheSystemSays)
{
    // As on a system installed in another language, where Qt's panels would show "5.08 MiB" and
    // "12/7/26 3:30 PM": ctest runs this test once more with LANG=en_US.UTF-8 (tests/CMakeLists.txt).
    if (QLocale::system().language() == QLocale::German)
        GTEST_SKIP() << "the system is German already; the run with LANG=en_US.UTF-8 checks this";
    const QLocale previous;
    ASSERT_TRUE(useGermanEverywhere());
    QTemporaryDir folder;
    const QString photo = folder.filePath(QStringLiteral("karte.jpg"));
    {
        QFile file(photo);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(5'326'848)); // 5.08 MiB
        ASSERT_TRUE(file.setFileTime(QDateTime(QDate(2026, 12, 7), QTime(15, 30)), QFileDevice::FileModificationTime));
    }
    WidgetDialogs dialogs;
    QStringList open, save;
    const auto seeAndClose = [&](QStringList& shown) {
        whenModal([&](QWidget* modal) {
            shown = shownColumns(qobject_cast<QFileDialog*>(modal), photo);
            qobject_cast<QDialog*>(modal)->reject();
        });
    };
    seeAndClose(open);
    (void)dialogs.chooseFiles(OpenPanelRequest{QStringLiteral("Fotos öffnen"), folder.path(), {}, true});
    seeAndClose(save);
    (void)dialogs.chooseSaveFile(
        SavePanelRequest{QStringLiteral("Sichern"), folder.path(), QStringLiteral("neu.jpg"), {}, true});
    const QString number = QLocale().toString(0.95);
    QLocale::setDefault(previous);

    for (const QStringList& shown : {open, save})
        EXPECT_EQ(shown.join(u" | ").toStdString(), "5,08 MiB | 07.12.26 15:30");
    EXPECT_EQ(number.toStdString(), "0,95");
}
