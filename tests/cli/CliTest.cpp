#include "pipeline/EditsJson.h"
#include "pipeline/SourceImage.h"
#include "support/CliRun.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using namespace lumora;
using test::CliRun;
using test::runCli;

namespace {

/// A folder with a JPEG test card `in.jpg` of w × h.
struct CliFolder {
    explicit CliFolder(int w = 40, int h = 30)
    {
        EXPECT_TRUE(test::writeAll(in, test::encodeWithVips(test::quadrants(w, h), QStringLiteral("jpg"))));
    }
    QString path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }
    QSize sizeOf(const char* name) const { return SourceImage::fromFile(path(name)).value_or(SourceImage()).size(); }

    QTemporaryDir dir;
    const QString in = path("in.jpg");
};

} // namespace

TEST(Cli, RenderWritesTheEditedPhotoByExtension)
{
    const CliFolder f(120, 80);
    ASSERT_TRUE(test::writeAll(f.path("e.json"), R"({"rotation": 90, "adjustment": {"exposure": 0.5}})"));
    const CliRun jpg = runCli({"render", f.in, f.path("out.jpg"), "--edits", f.path("e.json")});
    ASSERT_EQ(jpg.exitCode, 0) << jpg.err.toStdString();
    EXPECT_EQ(f.sizeOf("out.jpg"), QSize(80, 120));
    const CliRun png = runCli({"render", f.in, f.path("half.png"), "--scale", "0.5"});
    ASSERT_EQ(png.exitCode, 0) << png.err.toStdString();
    EXPECT_EQ(f.sizeOf("half.png"), QSize(60, 40));
}

TEST(Cli, BadInputGivesClearErrorsAndExitCodes)
{
    const CliFolder f;
    ASSERT_TRUE(test::writeAll(f.path("bad.json"), R"({"rotation": "neunzig"})"));
    const CliRun malformed = runCli({"render", f.in, f.path("o.jpg"), "--edits", f.path("bad.json")});
    EXPECT_EQ(malformed.exitCode, 2);
    EXPECT_TRUE(malformed.err.contains(QStringLiteral("rotation")));
    EXPECT_FALSE(QFile::exists(f.path("o.jpg")));

    ASSERT_TRUE(test::writeAll(f.path("text.jpg"), "not an image"));
    const CliRun unreadable = runCli({"render", f.path("text.jpg"), f.path("o.jpg")});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_TRUE(unreadable.err.contains(QStringLiteral("kein lesbares Bild")));

    EXPECT_EQ(runCli({"render", f.in, f.path("o.gif")}).exitCode, 2);
    EXPECT_EQ(runCli({"bogus"}).exitCode, 2);
}

TEST(Cli, ExportNumbersTheFilesInTheOrderGiven)
{
    const CliFolder f;
    QDir().mkpath(f.path("out"));
    QStringList args{"export", "--jpg", f.path("out")};
    for (const char* name : {"zebra.jpg", "apfel.v2.jpg", "mitte.jpg"}) {
        ASSERT_TRUE(QFile::copy(f.in, f.path(name)));
        args.append(f.path(name));
    }
    const CliRun run = runCli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QStringLiteral("100 %")));
    EXPECT_EQ(QDir(f.path("out")).entryList(QDir::Files, QDir::Name),
              (QStringList{"1_zebra.jpg", "2_apfel.v2.jpg", "3_mitte.jpg"}));

    args[1] = QStringLiteral("--png");
    args[2] = f.path("missing/folder");
    const CliRun failed = runCli(args);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains(QStringLiteral("Fehler beim PNG-Export: "))) << failed.err.toStdString();
    EXPECT_EQ(runCli({"export", f.dir.path()}).exitCode, 2);
}

// The program starts libvips without the format modules it never opens and still reads every
// format it takes: HEIF through the one module it loads when a HEIF photo comes. (This process
// has started libvips, which leaves its home in VIPSHOME, so the program is run without it.)
TEST(Cli, ExportReadsEveryFormatWithOnlyTheDecodersItUses)
{
    const CliFolder f(64, 48);
    QStringList args{"export", "--png", f.path("out")};
    const QStringList formats{"heic", "png", "webp", "tif", "jpg"};
    for (const QString& format : formats) {
        const QString path = f.dir.filePath(QStringLiteral("p.") + format);
        ASSERT_TRUE(test::writeAll(path, test::encodeWithVips(test::quadrants(64, 48), format)));
        args.append(path);
    }
    ASSERT_TRUE(QDir().mkpath(f.path("out")));
    const CliRun run = runCli(args, {}, false, {{QStringLiteral("VIPSHOME"), QString()}});
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    for (qsizetype i = 0; i < formats.size(); ++i) {
        const QString written = f.dir.filePath(QStringLiteral("out/%1_p.png").arg(i + 1));
        const auto source = SourceImage::fromFile(f.dir.filePath(QStringLiteral("p.") + formats[i]));
        const auto result = SourceImage::fromFile(written);
        ASSERT_TRUE(source && result) << formats[i].toStdString();
        const auto decoded = source->decode();
        const auto exported = result->decode();
        ASSERT_TRUE(decoded && exported) << formats[i].toStdString();
        EXPECT_EQ(exported->convertToFormat(QImage::Format_RGB32), decoded->convertToFormat(QImage::Format_RGB32))
            << formats[i].toStdString();
    }
}

TEST(Cli, HelpOfTheProgramAndOfEachCommandExitsZero)
{
    const CliRun help = runCli({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* command : {"render", "export", "bench", "cutout"}) {
        EXPECT_TRUE(help.out.contains(QString::fromUtf8(command))) << command;
        EXPECT_EQ(runCli({command, "--help"}).exitCode, 0) << command;
    }
}

// The edits file is read like a photo: only a regular file, never blocking, within a size
// limit, and every refusal is a German sentence naming the file (exit code 2).
TEST(Cli, TheEditsFileIsReadOnlyWhenItIsARegularFileOfSensibleSize)
{
    const CliFolder f;
    ASSERT_EQ(::mkfifo(QFile::encodeName(f.path("fifo.json")).constData(), 0600), 0);
    QFile big(f.path("gross.json"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly) && big.resize(kMaxEditsFileBytes + 1));
    big.close();
    // What is no regular file is refused by the photos' rules (the decoder's test has every kind).
    const std::pair<const char*, const char*> cases[] = {
        {"fifo.json", "„fifo.json“ ist keine reguläre Datei."},
        {"gross.json", "„gross.json“ ist zu groß."},
        {"fehlt.json", "„fehlt.json“ konnte nicht gelesen werden: Die Datei existiert nicht (mehr)."},
    };
    for (const auto& [name, message] : cases) {
        const QString path = f.path(name);
        for (const QStringList& args : {QStringList{"render", f.in, f.path("o.jpg"), "--edits", path},
                                        QStringList{"export", "--jpg", f.dir.path(), "--edits", path, f.in}}) {
            const CliRun run = runCli(args);
            EXPECT_EQ(run.exitCode, 2) << name;
            EXPECT_TRUE(run.err.contains(QString::fromUtf8(message))) << run.err.toStdString();
        }
    }
    EXPECT_FALSE(QFile::exists(f.path("o.jpg")));
}

// Failures that the error number alone would explain wrongly get the reason that fits: a
// socket is no regular file (not a vanished volume), a folder on the way that may not be
// entered is named (not the photo's own permissions), and a path too long as a whole is not a
// file name too long.
TEST(Cli, ReasonsFitWhatIsReallyWrong)
{
    CliFolder f;
    // Another user must be able to reach the folder to find the one it may not enter.
    ASSERT_TRUE(QFile::setPermissions(f.dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner
                                                        | QFile::ReadOther | QFile::ExeOther));
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(f.path("sockel.jpg"));
    ASSERT_LT(size_t(socketPath.size()), sizeof(address.sun_path));
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    ASSERT_TRUE(QDir().mkdir(f.path("geheim")) && QFile::copy(f.in, f.path("geheim/foto.jpg")));
    ASSERT_TRUE(QFile::setPermissions(f.path("geheim"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther));
    QString deep = f.dir.path();
    while (QFile::encodeName(deep).size() <= 4200)
        deep += QStringLiteral("/") + QString(100, QLatin1Char('o'));
    const QString tooLong = deep + QStringLiteral("/foto.jpg");

    const struct {
        QString photo;
        bool asOtherUser;
        QString reason;
    } cases[] = {
        {f.path("sockel.jpg"), false, QStringLiteral("„sockel.jpg“ ist keine reguläre Datei.")},
        {f.path("geheim/foto.jpg"), true, QStringLiteral("Keine Zugriffsrechte für den Ordner „geheim“.")},
        {tooLong, false, QStringLiteral("Der Pfad ist länger als die 4096 Bytes, die das System zulässt.")},
    };
    for (const auto& c : cases) {
        const CliRun run = runCli({"render", c.photo, f.path("o.jpg")}, {}, c.asOtherUser);
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_TRUE(run.err.contains(c.reason)) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QStringLiteral("nicht mehr erreichbar"))) << run.err.toStdString();
        EXPECT_FALSE(run.err.contains(QStringLiteral("Dateiname ist zu lang"))) << run.err.toStdString();
    }
    ::close(listener);
}
