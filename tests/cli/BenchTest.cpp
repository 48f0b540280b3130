#include "cli/Bench.h"
#include "support/CliRun.h"
#include "support/Fixtures.h"
#include "support/PhotoFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace lumora;
using test::CliRun;
using test::runCli;

TEST(Bench, JsonSummaryGivesOneNumberPerGoal)
{
    QTemporaryDir dir;
    const QString photo = dir.filePath(QStringLiteral("in.jpg"));
    ASSERT_TRUE(test::writeAll(photo, test::encodeWithVips(test::quadrants(120, 80), QStringLiteral("jpg"))));
    // Without a model the mask is reported as missing, not as a time.
    const CliRun bench = runCli({"bench", "--json", photo}, dir.filePath(QStringLiteral("missing.onnx")));
    ASSERT_EQ(bench.exitCode, 0) << bench.err.toStdString();
    const QJsonObject summary =
        QJsonDocument::fromJson(bench.out.trimmed().split(QLatin1Char('\n')).last().toUtf8()).object();
    for (const char* key : {"floor_ms", "cli_export_ms", "export_vs_floor", "render_vs_decode", "export_peak_rss_mb"})
        EXPECT_GT(summary.value(QLatin1String(key)).toDouble(), 0) << key;
    EXPECT_TRUE(summary.contains(QLatin1String("mask_ms")) && summary.value(QLatin1String("mask_ms")).isNull());
    EXPECT_TRUE(bench.err.contains(QStringLiteral("nicht installiert"))) << bench.err.toStdString();

    ASSERT_TRUE(test::writeAll(dir.filePath(QStringLiteral("bad.json")), R"({"flippedH": "ja"})"));
    const CliRun bad = runCli({"bench", "--edits", dir.filePath(QStringLiteral("bad.json")), photo});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.err.contains(QStringLiteral("flippedH"))) << bad.err.toStdString();
}

TEST(Bench, RunMeasuredReportsTheChildsOwnExitAndPeak)
{
    const ProgramCost small = runMeasured(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), QStringLiteral("exit 3")});
    EXPECT_EQ(small.exitCode, 3);
    EXPECT_LT(small.peakRssMb, 32); // not this test program's own size
    // A shell that holds 40 MB in a variable for a while (the peak is sampled).
    const ProgramCost large =
        runMeasured(QStringLiteral("/bin/sh"),
                    {QStringLiteral("-c"), QStringLiteral("x=$(head -c 41943040 /dev/zero | tr '\\0' a); sleep 0.2")});
    EXPECT_EQ(large.exitCode, 0);
    EXPECT_GE(large.peakRssMb, 40);
    EXPECT_EQ(runMeasured(QStringLiteral("/nonexistent/program"), {}).exitCode, -1);
}
