// The real lumora-studio process, driven from its standard input (LUMORA_DRIVE=1), killed with
// SIGKILL at several moments and started again: what it restores exports byte for byte as a run
// that never crashed. Hostile journals are tested case by case on JournalFolder; here one journal
// that cannot be read and one photo that is left out show that the reason reaches the question.
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

using namespace lumora;
using namespace lumora::test;

namespace {

/// One run of the app with its own state folder.
class App {
public:
    explicit App(const QString& stateHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_STATE_HOME"), stateHome);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("LUMORA_DRIVE"), QStringLiteral("1"));
        m_process.setProcessEnvironment(env);
        m_process.start(QStringLiteral(LUMORA_STUDIO_PATH), QStringList());
        EXPECT_TRUE(m_process.waitForStarted(30'000));
    }
    ~App() { kill(); }
    void send(const QString& line) { m_process.write(line.toUtf8() + '\n'); }
    /// The next reply line; empty when none comes within a minute.
    QString reply()
    {
        while (!m_process.canReadLine()) {
            if (!m_process.waitForReadyRead(60'000))
                return {};
        }
        return QString::fromUtf8(m_process.readLine()).trimmed();
    }
    /// Sends a command and returns its reply.
    QString run(const QString& line)
    {
        send(line);
        return reply();
    }
    /// Exports every photo into a new folder `out` and returns its files.
    QMap<QString, QByteArray> exportTo(const QString& out)
    {
        QDir().mkpath(out);
        EXPECT_EQ(run(QStringLiteral("settle")), QStringLiteral("settled"));
        EXPECT_EQ(run(QStringLiteral("export ") + out), QStringLiteral("exported"));
        QMap<QString, QByteArray> files;
        for (const QString& name : QDir(out).entryList(QDir::Files))
            files.insert(name, readAll(out + QLatin1Char('/') + name));
        return files;
    }
    void kill()
    {
        m_process.kill(); // SIGKILL
        m_process.waitForFinished(30'000);
    }
    bool quit()
    {
        send(QStringLiteral("quit"));
        const bool ended = m_process.waitForFinished(60'000) && m_process.exitStatus() == QProcess::NormalExit
                           && m_process.exitCode() == 0;
        EXPECT_TRUE(ended) << "the app did not end cleanly:\n" << m_process.readAllStandardError().toStdString();
        return ended;
    }

private:
    QProcess m_process;
};

/// Edits of every kind the journal keeps, one command each: sliders on two photos, a turn and a
/// mirror, a rectangle, a stroke, an arrow and a text mark, a bake of the text mark into a new
/// original, a crop to a new original, and edits on top of it.
QStringList editCommands()
{
    return {
        QStringLiteral("select 0 1"),
        QStringLiteral("adjust 0.4 0.05 1.1 1.2 0.3"),
        QStringLiteral("select 0"),
        QStringLiteral("rotate left"),
        QStringLiteral("flip h"),
        QStringLiteral("select 1"),
        QStringLiteral(R"(add {"masks": [{"rect": [100, 100, 400, 200], "colorHex": "#000000"}]})"),
        QStringLiteral(
            R"(add {"freehandOverlays": [{"kind": "stroke", "points": [[100, 500], [600, 700], [900, 650]], )"
            R"("colorHex": "#FF3B30", "lineWidth": 12}]})"),
        QStringLiteral(
            R"(add {"freehandOverlays": [{"kind": "arrow", "start": [800, 300], "angle": 0.5, "length": 300, )"
            R"("lineWidth": 10, "colorHex": "#FF3B30"}]})"),
        QStringLiteral(R"(add {"textMarks": [{"position": [600, 500], "text": "Kratzer", "fontSize": 60, )"
                       R"("colorHex": "#FFFFFF", "hasBackground": true}]})"),
        QStringLiteral("bake"),
        QStringLiteral("select 2"),
        QStringLiteral("crop 100 80 900 600"),
        QStringLiteral("adjust -0.2 0 1.3 0.8 0"),
        QStringLiteral(R"(add {"masks": [{"rect": [10, 10, 50, 50], "colorHex": "#FFFFFF"}]})"),
    };
}

/// Runs the commands from `from` up to `to` (exclusive); false when one fails.
bool runCommands(App& app, int from, int to)
{
    for (int i = from; i < to; ++i) {
        const QString answer = app.run(editCommands()[i]);
        if (answer != QLatin1String("ok")) {
            ADD_FAILURE() << editCommands()[i].toStdString() << " → " << answer.toStdString();
            return false;
        }
    }
    return true;
}

/// The selection command in force before command `index` (a restore may bring back a record
/// written just before the selection that came with it).
QString selectionBefore(int index)
{
    for (int i = index - 1; i >= 0; --i) {
        if (editCommands()[i].startsWith(QStringLiteral("select")))
            return editCommands()[i];
    }
    return {};
}

/// Writes three photos into `folder` and returns the command that loads them.
QString writePhotosInto(const QString& folder)
{
    QString command = QStringLiteral("load");
    for (int i = 0; i < 3; ++i) {
        const QString path = folder + QStringLiteral("/photo%1.jpg").arg(i);
        writeAll(path, encodeWithVips(noise(1200, 800, quint32(11 + i)), QStringLiteral("jpg")));
        command += QLatin1Char(' ') + path;
    }
    return command;
}

} // namespace

TEST(SessionCrash, KilledAppRestoresAndExportsAsIfNothingHappened)
{
    QTemporaryDir work;
    const QString load = writePhotosInto(work.path());
    const int count = int(editCommands().size());

    // The run without a crash and its export.
    QMap<QString, QByteArray> expected;
    {
        App app(work.path() + QStringLiteral("/state-reference"));
        ASSERT_EQ(app.run(load), QStringLiteral("loaded 3"));
        ASSERT_TRUE(runCommands(app, 0, count));
        expected = app.exportTo(work.path() + QStringLiteral("/reference"));
        ASSERT_TRUE(app.quit());
        EXPECT_FALSE(
            QFileInfo::exists(work.path() + QStringLiteral("/state-reference/lumora-studio/session/session.json")));
    }
    ASSERT_EQ(expected.size(), 3);

    // Where a crashed run is killed: commands before `from` are journaled (settled), those from
    // `from` to `last` are sent one after another, and the process is killed `delayMs` after the
    // last one (a write of the journal may be under way).
    const int moments[][3] = {{5, 4, 0}, {6, 9, 0}, {10, 10, 100}, {10, 11, 500}, {12, 14, 0}, {14, 14, 1500}};
    for (const auto& [from, last, delayMs] : moments) {
        SCOPED_TRACE(testing::Message() << "killed after commands " << from << "…" << last << " +" << delayMs << " ms");
        const QString state = work.path() + QStringLiteral("/state-%1-%2").arg(last).arg(delayMs);
        // The states a restore may come back to: after the last journaled command and after each one sent since.
        QStringList candidates;
        {
            App app(state);
            ASSERT_EQ(app.run(load), QStringLiteral("loaded 3"));
            ASSERT_TRUE(runCommands(app, 0, from));
            ASSERT_EQ(app.run(QStringLiteral("settle")), QStringLiteral("settled"));
            candidates.append(app.run(QStringLiteral("state")));
            for (int i = from; i <= last; ++i) {
                ASSERT_TRUE(runCommands(app, i, i + 1));
                candidates.append(app.run(QStringLiteral("state")));
            }
            QThread::msleep(delayMs);
            app.kill();
        }
        App app(state);
        const QString question = app.reply();
        ASSERT_TRUE(question.startsWith(QStringLiteral("ask Die letzte Sitzung wurde nicht beendet. ")))
            << question.toStdString();
        app.send(QStringLiteral("answer Wiederherstellen"));
        ASSERT_EQ(app.run(QStringLiteral("settle")), QStringLiteral("settled"));
        const QString restored = app.run(QStringLiteral("state"));
        const qsizetype at = candidates.lastIndexOf(restored);
        ASSERT_GE(at, 0) << "restored " << restored.toStdString() << "\nnone of\n"
                         << candidates.join(QLatin1Char('\n')).toStdString();
        // The commands after the restored state (with the selection they were given under), then the export.
        const int next = from + int(at);
        ASSERT_TRUE(selectionBefore(next).isEmpty() || app.run(selectionBefore(next)) == QLatin1String("ok"));
        ASSERT_TRUE(runCommands(app, next, count));
        EXPECT_TRUE(app.exportTo(work.path() + QStringLiteral("/out-%1-%2").arg(last).arg(delayMs)) == expected);
        ASSERT_TRUE(app.quit());
    }
}

// Commands about photos that are not there are refused, never carried out on nothing: an index
// past the grid leaves the selection as it was, and the one-photo commands say there is none.
TEST(ScriptDriver, CommandsAboutPhotosThatAreNotThereAreRefused)
{
    QTemporaryDir work;
    App app(work.path() + QStringLiteral("/state"));
    const QString mask = QStringLiteral(R"(add {"masks": [{"rect": [10, 10, 50, 50], "colorHex": "#000000"}]})");
    EXPECT_EQ(app.run(QStringLiteral("select 0")), QStringLiteral("failed kein Foto 0"));
    EXPECT_EQ(app.run(QStringLiteral("bake")), QStringLiteral("failed kein Foto ausgewählt"));
    EXPECT_EQ(app.run(QStringLiteral("crop 0 0 10 10")), QStringLiteral("failed kein Foto ausgewählt"));
    EXPECT_EQ(app.run(mask), QStringLiteral("ok"));

    ASSERT_EQ(app.run(writePhotosInto(work.path())), QStringLiteral("loaded 3"));
    EXPECT_EQ(app.run(QStringLiteral("select 2")), QStringLiteral("ok"));
    EXPECT_EQ(app.run(QStringLiteral("select 1 3")), QStringLiteral("failed kein Foto 3"));
    EXPECT_EQ(app.run(QStringLiteral("select x")), QStringLiteral("failed kein Foto x"));
    EXPECT_EQ(app.run(mask), QStringLiteral("ok"));
    const QString state = app.run(QStringLiteral("state"));
    ASSERT_TRUE(state.startsWith(QStringLiteral("state ")));
    const QJsonArray photos = QJsonDocument::fromJson(state.mid(6).toUtf8()).array();
    ASSERT_EQ(photos.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(photos[i].toObject()[QStringLiteral("edits")].toObject()[QStringLiteral("masks")].toArray().size(),
                  i == 2 ? 1 : 0)
            << "photo " << i;
    EXPECT_TRUE(app.quit());
}
