#include "app/CommandFlows.h"
#include "model/ImageProcessor.h"
#include "platform/Preferences.h"
#include "platform/UDisksVolumeService.h"
#include "support/DngFile.h"
#include "support/FakeVolumes.h"
#include "support/PhotoFiles.h"
#include "support/PoolHold.h"
#include "support/ScriptedDialogs.h"

#include "base/UiThread.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

struct Window {
    QTemporaryDir dir;
    ImageProcessor processor;
    ScriptedDialogs dialogs;
    FakeVolumes volumes;
    CommandFlows flows{processor, dialogs, volumes};

    void loadPhotos(int count)
    {
        ASSERT_TRUE(loadAndWait(processor, writePhotos(dir, count, 64, 48, QStringLiteral("foto"))));
    }
    /// Waits for the running command to end with a new message and returns that message.
    QString finished()
    {
        (void)QTest::qWaitFor(
            [&] { return flows.running() == CommandFlows::Command::none && dialogs.messages.size() > seen; },
            kNoTimeLimit);
        seen = dialogs.messages.size();
        return seen ? dialogs.messages.last().second : QString();
    }
    qsizetype seen = 0;
};

} // namespace

TEST(SaveFlow, OrderWarningFirstTrotzdemSkipsTheWatermarkWarningAndNichtMehrFragenLastsForTheWindow)
{
    Window w;
    w.loadPhotos(2);
    PhotoItem marked = w.processor.photos().first(); // a watermark, which a save burns in
    marked.edits.watermark =
        Watermark{QStringLiteral("©"), WatermarkPosition::center, 0.5, 0.1, QStringLiteral("#FFFFFF")};
    w.processor.updatePhoto(marked);
    const QByteArray before = readAll(marked.url.toLocalFile());

    w.flows.orderWasChanged = true; // a drag started, even if nothing moved
    w.dialogs.answer(QStringLiteral("Trotzdem speichern"));
    w.flows.save();
    ASSERT_EQ(w.dialogs.questions.size(), 1); // no watermark warning after "Trotzdem speichern"
    EXPECT_EQ(w.dialogs.questions[0].title, QStringLiteral("Hinweis zur Sortierung"));
    EXPECT_EQ(w.finished(), QStringLiteral("Alle Bilder wurden erfolgreich überschrieben."));
    EXPECT_NE(readAll(marked.url.toLocalFile()), before);
    EXPECT_FALSE(w.flows.orderWasChanged);

    // The next save asks about the watermark, not the order.
    w.dialogs.answer(QStringLiteral("Abbrechen"));
    w.flows.save();
    ASSERT_EQ(w.dialogs.questions.size(), 2);
    EXPECT_EQ(w.dialogs.questions[1].title, QStringLiteral("Wasserzeichen wird eingebrannt"));
    EXPECT_EQ(w.dialogs.messages.size(), 1); // cancelled: nothing ran

    // "Nicht mehr fragen" lasts for this window only. A camera RAW file in the list is told about
    // once, by the first save with it (the JPEGs alone were saved above without a notice).
    const QUrl raw = writePhotoFile(w.dir.path(), QStringLiteral("IMG_0042.NEF"), makeDng(photoLike(64, 48)));
    ASSERT_TRUE(loadAndWait(w.processor, {raw}));
    w.dialogs.answer(QStringLiteral("Speichern, nicht mehr fragen"));
    w.flows.save();
    EXPECT_EQ(w.finished(), QStringLiteral("Alle Bilder wurden erfolgreich überschrieben."));
    ASSERT_EQ(w.dialogs.messages.size(), 3);
    EXPECT_EQ(w.dialogs.messages[1].first, QStringLiteral("Hinweis"));
    EXPECT_EQ(w.dialogs.messages[1].second,
              QStringLiteral("Kamera-RAW-Dateien werden beim Speichern nicht überschrieben, ihre Sensordaten bleiben "
                             "erhalten. Das Foto wird als JPG daneben gespeichert: aus „IMG_0042.NEF“ wird "
                             "„IMG_0042-NEF.jpg“."));
    w.flows.save();
    ASSERT_EQ(w.dialogs.questions.size(), 3) << "not asked again by this window";
    EXPECT_EQ(w.finished(), QStringLiteral("Alle Bilder wurden erfolgreich überschrieben."));
    EXPECT_EQ(w.dialogs.messages.size(), 4) << "told once";
    CommandFlows fresh(w.processor, w.dialogs, w.volumes);
    fresh.save();
    EXPECT_EQ(w.dialogs.questions.size(), 4);
}

// Escape in the order warning opens the JPG folder panel, and its cancel changes nothing. A
// cancelled export says how many files were written; a failing one gives its prefix and the file
// system's text.
TEST(ExportFlow, EscapeInTheOrderWarningExportsAndCancelledAndFailingExportsSayWhatHappened)
{
    Window w;
    w.loadPhotos(3);
    const QByteArray before = readAll(w.processor.photos().first().url.toLocalFile());
    w.flows.orderWasChanged = true;
    w.dialogs.answer(QStringLiteral("Escape"));
    w.dialogs.cancelFolder();
    w.flows.save();
    ASSERT_EQ(w.dialogs.folderRequests.size(), 1);
    EXPECT_EQ(w.dialogs.folderRequests[0].title, QStringLiteral("Export-Zielordner für JPG wählen"));
    EXPECT_TRUE(w.dialogs.messages.isEmpty());
    EXPECT_TRUE(w.flows.orderWasChanged); // exports never reset it
    EXPECT_EQ(readAll(w.processor.photos().first().url.toLocalFile()), before);
    w.flows.orderWasChanged = false;

    const QString out = w.dir.filePath(QStringLiteral("out"));
    ASSERT_TRUE(QDir().mkpath(out));
    w.dialogs.confirmFolder(out);
    // Every pool thread is held, so the export cannot pass its first check before the cancel.
    PoolHold held;
    w.flows.exportJpg();
    EXPECT_EQ(w.flows.running(), CommandFlows::Command::exportJpg);
    w.flows.cancelRunning();
    held.let();
    EXPECT_EQ(w.finished(), QStringLiteral("Abgebrochen – 0 von 3 Bildern wurden geschrieben."));
    EXPECT_TRUE(QDir(out).entryList(QDir::Files).isEmpty());
    EXPECT_EQ(CommandFlows::cancelledMessage(CommandFlows::Command::deleteFiles, {std::nullopt, true, 2, 5}),
              QStringLiteral("Abgebrochen – 2 von 5 Dateien wurden gelöscht."));

    QDir(out).mkdir(QStringLiteral("2_foto2.png")); // the second file cannot be written
    w.dialogs.confirmFolder(out);
    w.flows.exportPng();
    const QString message = w.finished();
    EXPECT_TRUE(message.startsWith(QStringLiteral("Fehler beim PNG-Export: "))) << message.toStdString();
    EXPECT_GT(message.size(), QStringLiteral("Fehler beim PNG-Export: ").size());
}

// What is deleted and restored, and how, is tested on DeleteRestore; here each answer reaches it.
TEST(DeleteFlow, TheThreeAnswers)
{
    Window w;
    w.loadPhotos(3);
    const PhotoItem first = w.processor.photos()[0], second = w.processor.photos()[1];
    QSignalSpy cleared(&w.flows, &CommandFlows::selectionCleared);

    w.dialogs.answer(QStringLiteral("Abbrechen"));
    w.flows.requestDelete({second.id});
    EXPECT_EQ(w.processor.photos().size(), 3);

    w.dialogs.answer(QStringLiteral("In den Papierkorb verschieben"));
    w.flows.requestDelete({second.id});
    EXPECT_EQ(w.dialogs.questions.last().title, QStringLiteral("Bilder entfernen?"));
    EXPECT_EQ(w.finished(), QStringLiteral("Ausgewählte Bilder wurden entfernt."));
    EXPECT_FALSE(QFile::exists(second.url.toLocalFile()));
    EXPECT_GE(cleared.count(), 1);

    w.dialogs.answer(QStringLiteral("Nur aus Übersicht entfernen"));
    w.flows.requestDelete({first.id});
    EXPECT_EQ(w.dialogs.messages.last().second,
              QStringLiteral("Ausgewählte Bilder wurden aus der Übersicht entfernt."));
    EXPECT_TRUE(QFile::exists(first.url.toLocalFile()));
}

TEST(EjectFlow, NoPathFailureAndSuccessAndTheVolumeServicesFailuresAndMountPoints)
{
    Window w;
    preferences::remove(QString::fromLatin1(preferences::kLastUsedVolumePath));
    w.flows.eject();
    EXPECT_EQ(w.dialogs.messages.last().second,
              QStringLiteral("Kein Volume-Pfad gespeichert – die SD-Karte ist nicht bekannt."));
    EXPECT_TRUE(w.volumes.ejected.isEmpty());

    // Off the UI thread, with the overlay up until the answer is there.
    const auto ejectAndWait = [&w] {
        const qsizetype shown = w.dialogs.messages.size();
        w.flows.eject();
        EXPECT_EQ(w.flows.running(), CommandFlows::Command::eject);
        EXPECT_EQ(w.dialogs.messages.size(), shown);
        workPool().waitForDone();
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        EXPECT_EQ(w.flows.running(), CommandFlows::Command::none);
    };
    preferences::setValue(QString::fromLatin1(preferences::kLastUsedVolumePath), QStringLiteral("/media/karte"));
    ejectAndWait();
    EXPECT_EQ(w.dialogs.messages.last().second, QStringLiteral("Auswerfen fehlgeschlagen: kein Datenträger"));
    EXPECT_TRUE(preferences::contains(QString::fromLatin1(preferences::kLastUsedVolumePath)));

    w.volumes.succeed = true;
    ejectAndWait();
    EXPECT_EQ(w.volumes.ejected.last(), QStringLiteral("/media/karte"));
    EXPECT_EQ(w.dialogs.messages.last().second, QStringLiteral("SD-Karte erfolgreich ausgeworfen."));
    EXPECT_FALSE(preferences::contains(QString::fromLatin1(preferences::kLastUsedVolumePath)));

    // The volume service's failures are said in German; the longest mount point holds the path.
    // A bus that cannot be reached stands for a machine without UDisks2.
    UDisksVolumeService service(QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                                              QStringLiteral("lumora-test-no-bus")));
    const auto result = service.unmountAndEject(QStringLiteral("/media/karte"));
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().description, QStringLiteral("Kein Dienst zum Auswerfen erreichbar."));

    const std::pair<const char*, const char*> cases[] = {
        {"org.freedesktop.DBus.Error.ServiceUnknown", "Kein Dienst zum Auswerfen erreichbar."},
        {"org.freedesktop.UDisks2.Error.DeviceBusy", "Das Medium wird noch benutzt."},
        {"org.freedesktop.UDisks2.Error.NotAuthorizedCanObtain", "Keine Berechtigung zum Auswerfen."},
        {"org.freedesktop.DBus.Error.NoReply", "Das Auswerfen hat zu lange gedauert."},
        {"org.example.Unheard.Of", "Das Medium konnte nicht ausgeworfen werden."},
    };
    for (const auto& [name, sentence] : cases)
        EXPECT_EQ(UDisksVolumeService::describeFailure(QString::fromLatin1(name)), QString::fromUtf8(sentence)) << name;

    // The longest mount point holds the path.
    const QList<UDisksVolumeService::Mounted> mounted{
        {QStringLiteral("/dev/root"), QStringLiteral("/"), {QStringLiteral("/")}},
        {QStringLiteral("/dev/sdb1"), QStringLiteral("/drives/card"), {QStringLiteral("/media/user/CARD")}},
        {QStringLiteral("/dev/sdc1"), QStringLiteral("/drives/stick"), {QStringLiteral("/media/user/CARD2")}},
    };
    EXPECT_EQ(UDisksVolumeService::holding(mounted, QStringLiteral("/media/user/CARD/DCIM"))->object,
              QStringLiteral("/dev/sdb1"));
    EXPECT_EQ(UDisksVolumeService::holding(mounted, QStringLiteral("/media/user/CARD2"))->object,
              QStringLiteral("/dev/sdc1"));
    EXPECT_EQ(UDisksVolumeService::holding(mounted, QStringLiteral("/home/x"))->object, QStringLiteral("/dev/root"));
    EXPECT_FALSE(UDisksVolumeService::holding({mounted[1]}, QStringLiteral("/media/user/CARDS")));
}
