#include "pipeline/SourceImage.h"
#include "support/CliRun.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;

namespace {

using test::CliRun;

CliRun cli(const QStringList& args)
{
    return test::runCli(args);
}

void writeFile(const QString& path, const QByteArray& bytes)
{
    ASSERT_TRUE(test::writeAll(path, bytes));
}

} // namespace

TEST(Cli, RenderWritesTheEditedPhotoByExtension)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.jpg"));
    writeFile(in, test::encodeWithVips(test::quadrants(120, 80), QStringLiteral("jpg")));
    writeFile(dir.filePath(QStringLiteral("e.json")), R"({"rotation": 90, "adjustment": {"exposure": 0.5}})");

    const CliRun jpg = cli({QStringLiteral("render"), in, dir.filePath(QStringLiteral("out.jpg")),
                            QStringLiteral("--edits"), dir.filePath(QStringLiteral("e.json"))});
    ASSERT_EQ(jpg.exitCode, 0) << jpg.err.toStdString();
    EXPECT_EQ(SourceImage::fromFile(dir.filePath(QStringLiteral("out.jpg")))->size(), QSize(80, 120));

    const CliRun png = cli({QStringLiteral("render"), in, dir.filePath(QStringLiteral("half.png")),
                            QStringLiteral("--scale"), QStringLiteral("0.5")});
    ASSERT_EQ(png.exitCode, 0) << png.err.toStdString();
    EXPECT_EQ(SourceImage::fromFile(dir.filePath(QStringLiteral("half.png")))->size(), QSize(60, 40));
}

TEST(Cli, BadInputGivesClearErrorsAndExitCodes)
{
    QTemporaryDir dir;
    const QString in = dir.filePath(QStringLiteral("in.jpg"));
    writeFile(in, test::encodeWithVips(test::quadrants(40, 30), QStringLiteral("jpg")));
    writeFile(dir.filePath(QStringLiteral("bad.json")), R"({"rotation": "neunzig"})");
    const CliRun malformed = cli({QStringLiteral("render"), in, dir.filePath(QStringLiteral("o.jpg")),
                                  QStringLiteral("--edits"), dir.filePath(QStringLiteral("bad.json"))});
    EXPECT_EQ(malformed.exitCode, 2);
    EXPECT_TRUE(malformed.err.contains(QStringLiteral("rotation")));
    EXPECT_FALSE(QFile::exists(dir.filePath(QStringLiteral("o.jpg"))));

    writeFile(dir.filePath(QStringLiteral("text.jpg")), "not an image");
    const CliRun unreadable = cli(
        {QStringLiteral("render"), dir.filePath(QStringLiteral("text.jpg")), dir.filePath(QStringLiteral("o.jpg"))});
    EXPECT_EQ(unreadable.exitCode, 1);
    EXPECT_TRUE(unreadable.err.contains(QStringLiteral("kein lesbares Bild")));

    EXPECT_EQ(cli({QStringLiteral("render"), in, dir.filePath(QStringLiteral("o.gif"))}).exitCode, 2);
    EXPECT_EQ(cli({QStringLiteral("bogus")}).exitCode, 2);

    const CliRun bench = cli({QStringLiteral("bench"), QStringLiteral("--json"), in});
    ASSERT_EQ(bench.exitCode, 0) << bench.err.toStdString();
    const QString last = bench.out.trimmed().split(QLatin1Char('\n')).last();
    EXPECT_TRUE(last.startsWith(QStringLiteral("{\"decode_ms\"")) || last.contains(QStringLiteral("\"photos\":1")))
        << last.toStdString();
}

TEST(Cli, ExportNumbersTheFilesInTheOrderGiven)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.filePath(QStringLiteral("out")));
    QStringList args{QStringLiteral("export"), QStringLiteral("--jpg"), dir.filePath(QStringLiteral("out"))};
    for (const char* name : {"zebra.jpg", "apfel.v2.jpg", "mitte.jpg"}) {
        const QString path = dir.filePath(QString::fromLatin1(name));
        writeFile(path, test::encodeWithVips(test::quadrants(40, 30), QStringLiteral("jpg")));
        args.append(path);
    }
    const CliRun run = cli(args);
    ASSERT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.contains(QStringLiteral("Export als JPG erfolgreich abgeschlossen.")));
    EXPECT_TRUE(run.err.contains(QStringLiteral("100 %")));
    EXPECT_EQ(
        QDir(dir.filePath(QStringLiteral("out"))).entryList(QDir::Files, QDir::Name),
        (QStringList{QStringLiteral("1_zebra.jpg"), QStringLiteral("2_apfel.v2.jpg"), QStringLiteral("3_mitte.jpg")}));

    args[1] = QStringLiteral("--png");
    args[2] = dir.filePath(QStringLiteral("missing/folder"));
    const CliRun failed = cli(args);
    EXPECT_EQ(failed.exitCode, 1);
    EXPECT_TRUE(failed.err.contains(QStringLiteral("Fehler beim PNG-Export: "))) << failed.err.toStdString();
    EXPECT_EQ(cli({QStringLiteral("export"), dir.path()}).exitCode, 2);
}

TEST(Cli, HelpOfTheProgramAndOfEachCommandExitsZeroAndNamesTheOptions)
{
    const std::pair<QString, QStringList> commands[] = {
        {QString(),
         {QStringLiteral("render"), QStringLiteral("export"), QStringLiteral("bench"), QStringLiteral("cutout")}},
        {QStringLiteral("render"), {QStringLiteral("--edits"), QStringLiteral("--scale")}},
        {QStringLiteral("export"), {QStringLiteral("--jpg"), QStringLiteral("--png"), QStringLiteral("--edits")}},
        {QStringLiteral("bench"), {QStringLiteral("--json")}},
        {QStringLiteral("cutout"),
         {QStringLiteral("--color"), QStringLiteral("--background"), QStringLiteral("--mask"),
          QStringLiteral("--runs")}},
    };
    for (const auto& [command, options] : commands) {
        const CliRun run = cli(command.isEmpty() ? QStringList{QStringLiteral("--help")}
                                                 : QStringList{command, QStringLiteral("--help")});
        EXPECT_EQ(run.exitCode, 0) << command.toStdString();
        for (const QString& option : options)
            EXPECT_TRUE(run.out.contains(option)) << command.toStdString() << " " << option.toStdString();
    }
}
