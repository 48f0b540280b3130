// The main of every test program. Which application object it makes is chosen per program
// (tests/CMakeLists.txt): QCoreApplication for Qt Core only, QGuiApplication for painting, fonts
// and images, QApplication only where widgets are tested.
#if defined(LUMORA_TEST_APP_WIDGETS)
#include <QApplication>
using TestApplication = QApplication;
#elif defined(LUMORA_TEST_APP_GUI)
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#elif defined(LUMORA_TEST_APP_CORE)
#include <QCoreApplication>
using TestApplication = QCoreApplication;
#else
#error "LUMORA_TEST_APP_CORE, LUMORA_TEST_APP_GUI or LUMORA_TEST_APP_WIDGETS must be defined"
#endif

#include "base/UiThread.h"

#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    TestApplication app(argc, argv);
    // Preferences written by tests go to a throw-away location of this process, never the
    // user's, and never another test's running at the same time (ctest -j).
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("LumoraTests"));
    QCoreApplication::setApplicationName(QStringLiteral("lumora-tests"));
    const QTemporaryDir settings;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings.path());
    ::testing::InitGoogleTest(&argc, argv);
    const int failed = RUN_ALL_TESTS();
    // As the app's main does: no background job (a model still loading) may outlive the program.
    lumora::workPool().waitForDone();
    return failed;
}
