// Card time of camera RAW files against JPEGs, and memory per RAW photo in the grid.
//
//   lumora-rawbench make FOLDER JPEG...   DNGs of the photos (sensor data mosaicked from the
//                                         JPEG) into FOLDER/vorschau (the JPEG as preview)
//                                         and FOLDER/ohne (no preview)
//   lumora-rawbench cards JPEG...         per photo, in the same run and interleaved: the card
//                                         (the file read as the app reads it, then the shrunk
//                                         decode) of the JPEG and of both DNGs made of it;
//                                         medians and ratios
//   lumora-rawbench memory FILE...        loads the files as the app does: the time until every
//                                         card is there, per photo, and resident memory per photo
//                                         against their encoded size
#include "base/RegularFile.h"
#include "cli/Bench.h"
#include "model/ImageProcessor.h"
#include "pipeline/SourceImage.h"
#include "support/DngFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUrl>
#include <algorithm>
#include <cstdio>

using namespace lumora;

namespace {

struct Pair {
    QByteArray withPreview;
    QByteArray withoutPreview;
};

std::optional<Pair> dngsOf(const QString& jpegPath)
{
    auto jpeg = readRegularFile(jpegPath);
    auto source = jpeg ? SourceImage::fromEncoded(*jpeg) : std::unexpected(Error{});
    auto photo = source ? source->decode() : std::unexpected(Error{});
    if (!photo)
        return std::nullopt;
    test::DngOptions options;
    Pair pair{{}, test::makeDng(*photo, options)};
    options.previewJpeg = *jpeg;
    options.previewSize = photo->size();
    pair.withPreview = test::makeDng(*photo, options);
    return pair;
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

int make(const QString& folder, const QStringList& jpegs)
{
    const QDir dir(folder);
    dir.mkpath(QStringLiteral("vorschau"));
    dir.mkpath(QStringLiteral("ohne"));
    for (const QString& path : jpegs) {
        const auto pair = dngsOf(path);
        const QString name = QFileInfo(path).completeBaseName() + QStringLiteral(".dng");
        if (!pair || !writeFile(dir.filePath(QStringLiteral("vorschau/") + name), pair->withPreview)
            || !writeFile(dir.filePath(QStringLiteral("ohne/") + name), pair->withoutPreview)) {
            std::fprintf(stderr, "%s: nicht umgewandelt\n", qPrintable(path));
            return 1;
        }
    }
    return 0;
}

/// What the app does for a card, by phase: read the file (a RAW file's header and preview
/// alone), then the shrunk decode.
struct CardTimes {
    double read = 0, decode = 0;
    double total() const { return read + decode; }
};

CardTimes cardMs(const QString& path)
{
    CardTimes times;
    QElapsedTimer timer;
    timer.start();
    const auto lap = [&timer] {
        const double ms = double(timer.nsecsElapsed()) / 1e6;
        timer.restart();
        return ms;
    };
    auto source = SourceImage::fromFile(path);
    times.read = lap();
    auto card = source ? source->decodeToFit(QSize(ImageProcessor::kThumbnailSide, ImageProcessor::kThumbnailSide))
                       : std::unexpected(source.error());
    times.decode = lap();
    if (!card)
        std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(card.error().description));
    return times;
}

int cards(const QStringList& jpegs)
{
    QTemporaryDir folder;
    std::vector<CardTimes> runs[3]; // JPEG, DNG with preview, DNG without
    for (const QString& path : jpegs) {
        const auto pair = dngsOf(path);
        const QString a = folder.filePath(QStringLiteral("a.dng"));
        const QString b = folder.filePath(QStringLiteral("b.dng"));
        if (!pair || !writeFile(a, pair->withPreview) || !writeFile(b, pair->withoutPreview))
            return 1;
        for (int round = 0; round < 3; ++round) { // interleaved, so load changes hit all three alike
            runs[0].push_back(cardMs(path));
            runs[1].push_back(cardMs(a));
            runs[2].push_back(cardMs(b));
        }
    }
    const auto phase = [](const std::vector<CardTimes>& times, double CardTimes::*field) {
        QList<double> values;
        for (const CardTimes& t : times)
            values.push_back(t.*field);
        return median(values);
    };
    const auto total = [](const std::vector<CardTimes>& times) {
        QList<double> values;
        for (const CardTimes& t : times)
            values.push_back(t.total());
        return median(values);
    };
    const double j = total(runs[0]);
    const char* names[] = {"JPEG", "DNG with preview", "DNG without preview"};
    std::printf("card, median of %zu (file read + shrunk decode):\n", runs[0].size());
    for (int kind = 0; kind < 3; ++kind)
        std::printf("  %-20s %7.1f ms (%.2f x JPEG)  read %.1f  decode %.1f ms\n", names[kind], total(runs[kind]),
                    total(runs[kind]) / j, phase(runs[kind], &CardTimes::read), phase(runs[kind], &CardTimes::decode));
    return 0;
}

int memory(int argc, char** argv, const QStringList& files)
{
    QCoreApplication app(argc, argv);
    ImageProcessor processor;
    QList<QUrl> urls;
    for (const QString& path : files)
        urls.append(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
    const double before = residentMegabytes();
    bool loaded = false;
    QElapsedTimer timer;
    timer.start();
    processor.loadPhotos(urls, [&] { loaded = true; });
    while (!loaded)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double cardsMs = double(timer.nsecsElapsed()) / 1e6;
    while (processor.isBusy())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    // A RAW file's bytes are kept after the cards, on a worker; here, at the latest.
    for (const PhotoItem& photo : processor.photos())
        (void)photo.originalCI.keepWhole();
    const qsizetype photos = processor.photos().size();
    if (photos == 0)
        return 1;
    double encoded = 0;
    for (const PhotoItem& photo : processor.photos())
        encoded += double(photo.originalCI.encodedBytes().size()) / (1024.0 * 1024.0);
    const double perPhoto = (residentMegabytes() - before) / double(photos);
    std::printf("load: %lld photos, every card after %.1f ms per photo; memory %.1f MB resident per photo, encoded "
                "%.1f MB per photo, above it %.1f MB\n",
                (long long)photos, cardsMs / double(photos), perPhoto, encoded / double(photos),
                perPhoto - encoded / double(photos));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    const QString mode = args.value(0);
    if (mode == QLatin1String("make") && args.size() >= 3)
        return make(args[1], args.mid(2));
    if (mode == QLatin1String("cards") && args.size() >= 2)
        return cards(args.mid(1));
    if (mode == QLatin1String("memory") && args.size() >= 2)
        return memory(argc, argv, args.mid(1));
    std::fprintf(stderr, "lumora-rawbench make ORDNER JPEG... | cards JPEG... | memory DATEI...\n");
    return 2;
}
