#include "cli/Bench.h"

#include "cutout/FreistellenEngine.h"
#include "model/DisplayRender.h"
#include "pipeline/Compositing.h"
#include "pipeline/Render.h"

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace lumora {

namespace {

// VmHWM of a /proc/<pid>/status file in MiB; 0 when it cannot be read.
double highWaterMegabytes(const QString& statusPath)
{
    QFile file(statusPath);
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0; // kB
    }
    return 0;
}

} // namespace

ProgramCost runMeasured(const QString& program, const QStringList& args)
{
    std::vector<QByteArray> storage{QFile::encodeName(program)};
    for (const QString& arg : args)
        storage.push_back(QFile::encodeName(arg));
    std::vector<char*> argv;
    for (QByteArray& arg : storage)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd : {0, 1, 2})
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    ProgramCost cost;
    QElapsedTimer timer;
    timer.start();
    pid_t child = -1;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return cost;
    // The child's peak is sampled from /proc: the kernel's own figure for a child
    // (ru_maxrss) also counts the address space it started from, which is this whole process
    // until the exec. After posix_spawn returns the child runs the new program, and VmHWM is
    // that program's high-water mark so far, so only a rise in the last interval can be missed.
    const QString status = QStringLiteral("/proc/%1/status").arg(child);
    int exit = 0;
    pid_t ended = 0;
    while (ended == 0 || (ended < 0 && errno == EINTR)) {
        cost.peakRssMb = std::max(cost.peakRssMb, highWaterMegabytes(status));
        ended = waitpid(child, &exit, WNOHANG);
        if (ended == 0)
            usleep(2000);
    }
    cost.wallMs = double(timer.nsecsElapsed()) / 1e6;
    if (ended == child && WIFEXITED(exit))
        cost.exitCode = WEXITSTATUS(exit);
    return cost;
}

std::expected<double, Error> backgroundMaskMs(const QString& path, int runs)
{
    const auto original = SourceImage::fromFile(path);
    if (!original)
        return std::unexpected(original.error());
    // As after "KI-Szene" in the editor: the photo is on screen, so its display render exists
    // before the click, and the mask is made from it.
    const auto shown = renderForDisplay(*original, EditState{});
    if (!shown)
        return std::unexpected(Error{QStringLiteral("Bench"), 1, QStringLiteral("Anzeige nicht berechenbar")});
    PhotoItem photo;
    photo.originalCI = *original;
    applyRender(photo, *shown);
    const FreistellenEngine engine;
    const auto once = [&]() -> std::expected<double, Error> {
        QElapsedTimer timer;
        timer.start();
        const auto base = displayRenderOf(photo, EditState{});
        if (!base)
            return std::unexpected(Error{QStringLiteral("Bench"), 1, QStringLiteral("Anzeige nicht aktuell")});
        const auto mask = engine.segmentNow(base->raster);
        if (!mask)
            return std::unexpected(mask.error());
        const auto composite = hintergrundErsetzen(*base, *mask, QColor(Qt::white), std::nullopt);
        if (!composite)
            return std::unexpected(Error{QStringLiteral("Bench"), 1, QStringLiteral("Komposition fehlgeschlagen")});
        return double(timer.nsecsElapsed()) / 1e6;
    };
    if (auto first = once(); !first) // loads the model
        return first;
    QList<double> times;
    for (int run = 0; run < runs; ++run) {
        auto ms = once();
        if (!ms)
            return ms;
        times.append(*ms);
    }
    return median(times);
}

} // namespace lumora
