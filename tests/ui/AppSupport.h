#pragma once

#include "app/KeySequenceTracker.h"
#include "app/LoadFlow.h"
#include "base/UiThread.h"
#include "platform/Preferences.h"
#include "platform/VolumeService.h"
#include "support/FakeVolumes.h"
#include "support/PhotoFiles.h"
#include "support/ScriptedDialogs.h"
#include "ui/ContentView.h"
#include "ui/magnifier/LupenFensterManager.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace lumora::test {

/// Removes every preference the main window writes, so each test starts as after installing.
inline void forgetWindowPreferences()
{
    for (const char* key :
         {"LastUsedVolumePath", "Lumora.Slider.showExposure", "Lumora.Slider.showBrightness",
          "Lumora.Slider.showContrast", "Lumora.Slider.showSaturation", "Lumora.Slider.showSharpness"})
        preferences::remove(QString::fromLatin1(key));
}

/// Places where nothing exists: the open panel falls back to its own default.
inline LoadPlaces noPlaces()
{
    LoadPlaces places;
    places.exists = [](const QString&) { return false; };
    return places;
}

/// The photos' file names without ".jpg", in list order.
inline QStringList order(const ImageProcessor& processor)
{
    QStringList names;
    for (const PhotoItem& photo : processor.photos())
        names.append(photo.url.fileName().chopped(4));
    return names;
}

/// A shown main window with scripted dialogs, a fake volume service and no places.
struct WindowFixture : ::testing::Test {
    ScriptedDialogs dialogs;
    FakeVolumes volumes;
    LupenFensterManager magnifiers;
    KeySequenceTracker keySequence{[] { return qint64(0); }}; // no pause ever runs out
    QTemporaryDir dir;
    std::unique_ptr<ContentView> view;

    void SetUp() override
    {
        forgetWindowPreferences();
        view = std::make_unique<ContentView>(services(), noPlaces());
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }
    void TearDown() override
    {
        view.reset();
        workPool().waitForDone(); // as the app's main does: no job may outlive the program
        forgetWindowPreferences();
    }

    [[nodiscard]] AppServices services() { return {dialogs, volumes, magnifiers, keySequence}; }
    void load(int count)
    {
        ASSERT_TRUE(loadAndWait(view->processor(), writePhotos(dir, count)));
        QCoreApplication::processEvents();
    }
    [[nodiscard]] QUuid idAt(int index) const { return view->processor().photos()[index].id; }
};

} // namespace lumora::test
