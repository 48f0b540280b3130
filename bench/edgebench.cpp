// Edge quality of the background mask at full resolution, on photos with a known outline: a
// cut-out with alpha (the subject) is scaled up and laid onto a large photo, so its alpha is
// the truth. The scaled alpha is cut at one half, so the subject's outline is as sharp as a
// camera's (a stretched alpha would be as blurred as the stretched mask). The mask is computed as the editor does (ISNet on the display render), then
// brought to full resolution twice: plainly stretched, and refined with the photo as guide.
//
//   lumora-editorbench is the editor's timing bench; this one measures masks:
//   lumora-edgebench BACKGROUND.jpg SUBJECT.png [SUBJECT.png...] [--out FOLDER] [--eps E,E...] [--radius R] [--cut C]
//
// Per subject and in the mean: IoU of the 0.5 threshold with the truth; boundary accuracy (the
// share of the truth's edge pixels within 3 px of the mask's 0.5 contour); the edge band (mask
// pixels between 0.1 and 0.9 per pixel of the truth's outline, i.e. the band's mean width in
// pixels); and the time of each step.
#include "cutout/EdgeRefinement.h"
#include "cutout/SegmentationModel.h"
#include "model/DisplayRender.h"
#include "pipeline/SourceImage.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>

#include <cmath>
#include <cstdio>
#include <vector>

using namespace lumora;

namespace {

struct Scores {
    double iou = 0;
    double boundary = 0;
    double band = 0;
};

// Pixels of a binary map (value >= 128) that have a 4-neighbour on the other side.
std::vector<uchar> edgesOf(const QImage& gray)
{
    const int w = gray.width();
    const int h = gray.height();
    std::vector<uchar> edge(size_t(w) * size_t(h), 0);
    for (int y = 0; y < h; ++y) {
        const uchar* row = gray.constScanLine(y);
        const uchar* up = gray.constScanLine(std::max(0, y - 1));
        const uchar* down = gray.constScanLine(std::min(h - 1, y + 1));
        for (int x = 0; x < w; ++x) {
            const bool in = row[x] >= 128;
            const bool differs = (row[std::max(0, x - 1)] >= 128) != in || (row[std::min(w - 1, x + 1)] >= 128) != in
                                 || (up[x] >= 128) != in || (down[x] >= 128) != in;
            edge[size_t(y) * size_t(w) + size_t(x)] = differs ? 1 : 0;
        }
    }
    return edge;
}

Scores score(const QImage& mask, const QImage& truth)
{
    const int w = truth.width();
    const int h = truth.height();
    qint64 both = 0, either = 0, band = 0;
    for (int y = 0; y < h; ++y) {
        const uchar* m = mask.constScanLine(y);
        const uchar* t = truth.constScanLine(y);
        for (int x = 0; x < w; ++x) {
            const bool a = m[x] >= 128;
            const bool b = t[x] >= 128;
            both += a && b;
            either += a || b;
            band += m[x] > 25 && m[x] < 230;
        }
    }
    const std::vector<uchar> truthEdge = edgesOf(truth);
    const std::vector<uchar> maskEdge = edgesOf(mask);
    constexpr int kReach = 3;
    qint64 edgePixels = 0, hits = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (!truthEdge[size_t(y) * size_t(w) + size_t(x)])
                continue;
            ++edgePixels;
            bool found = false;
            for (int dy = -kReach; dy <= kReach && !found; ++dy) {
                const int yy = y + dy;
                if (yy < 0 || yy >= h)
                    continue;
                for (int dx = -kReach; dx <= kReach && !found; ++dx) {
                    const int xx = x + dx;
                    if (xx >= 0 && xx < w && dx * dx + dy * dy <= kReach * kReach)
                        found = maskEdge[size_t(yy) * size_t(w) + size_t(xx)] != 0;
                }
            }
            hits += found;
        }
    }
    return {either ? double(both) / double(either) : 0, edgePixels ? double(hits) / double(edgePixels) : 0,
            edgePixels ? double(band) / double(edgePixels) : 0};
}

QImage alphaOf(const QImage& image)
{
    QImage out(image.size(), QImage::Format_Grayscale8);
    for (int y = 0; y < image.height(); ++y) {
        const auto* src = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        uchar* dst = out.scanLine(y);
        for (int x = 0; x < image.width(); ++x)
            dst[x] = uchar(qAlpha(src[x]));
    }
    return out;
}

// The 600 × 600 crop around the subject's top, for looking at.
void saveCrops(const QString& folder, const QString& name, const QImage& photo, const QImage& plain,
               const QImage& refined, QPoint at)
{
    const QRect crop(at - QPoint(300, 300), QSize(600, 600));
    photo.copy(crop).save(folder + QStringLiteral("/%1-photo.png").arg(name));
    plain.copy(crop).save(folder + QStringLiteral("/%1-plain.png").arg(name));
    refined.copy(crop).save(folder + QStringLiteral("/%1-refined.png").arg(name));
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    QString out;
    if (const qsizetype at = args.indexOf(QStringLiteral("--out")); at >= 0 && at + 1 < args.size()) {
        out = args[at + 1];
        args.remove(at, 2);
        QDir().mkpath(out);
    }
    EdgeRefinementParams params;
    params.maskDetailSide = kSegmentationInputSize;
    QList<double> epsList{params.eps};
    if (const qsizetype at = args.indexOf(QStringLiteral("--eps")); at >= 0 && at + 1 < args.size()) {
        epsList.clear();
        for (const QString& value : args[at + 1].split(QLatin1Char(',')))
            epsList.append(value.toDouble());
        args.remove(at, 2);
    }
    if (const qsizetype at = args.indexOf(QStringLiteral("--cut")); at >= 0 && at + 1 < args.size()) {
        params.tailCut = args[at + 1].toDouble();
        args.remove(at, 2);
    }
    if (const qsizetype at = args.indexOf(QStringLiteral("--radius")); at >= 0 && at + 1 < args.size()) {
        params.radius = args[at + 1].toInt();
        args.remove(at, 2);
    }
    if (args.size() < 2) {
        std::fprintf(stderr, "lumora-edgebench BACKGROUND.jpg SUBJECT.png [SUBJECT.png...] [--out FOLDER]\n");
        return 2;
    }
    auto source = SourceImage::fromFile(args[0]);
    auto decoded = source ? source->decode() : std::expected<QImage, Error>(std::unexpected(source.error()));
    if (!decoded) {
        std::fprintf(stderr, "%s: not readable\n", qPrintable(args[0]));
        return 1;
    }
    const QImage background = decoded->convertToFormat(QImage::Format_ARGB32_Premultiplied);
    std::printf("photo %d x %d, radius %d, cut %g\n", background.width(), background.height(), params.radius,
                params.tailCut);
    std::printf("%-28s %8s %8s | %8s %8s | %8s %8s | %7s %7s %7s\n", "subject", "IoU", "IoU", "bound", "bound", "band",
                "band", "mask", "plain", "refine");
    std::printf("%-28s %8s %8s | %8s %8s | %8s %8s | %7s %7s %7s\n", "", "plain", "refined", "plain", "refined",
                "plain", "refined", "ms", "ms", "ms");
    Scores plainSum, refinedSum;
    int count = 0;
    for (const QString& path : args.mid(1)) {
        const QImage stamp = QImage(path).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        if (stamp.isNull()) {
            std::fprintf(stderr, "%s: not readable\n", qPrintable(path));
            continue;
        }
        // The subject fills about three quarters of the photo's height, in its middle.
        const QSize size =
            stamp.size().scaled(QSize(background.width() * 3 / 4, background.height() * 3 / 4), Qt::KeepAspectRatio);
        QImage subject =
            stamp.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < subject.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(subject.scanLine(y));
            for (int x = 0; x < subject.width(); ++x)
                row[x] = qAlpha(row[x]) >= 128 ? (row[x] | 0xFF000000u) : 0u;
        }
        const QPoint origin((background.width() - size.width()) / 2, (background.height() - size.height()) / 2);
        QImage photo = background;
        QImage truthCanvas(background.size(), QImage::Format_ARGB32_Premultiplied);
        truthCanvas.fill(Qt::transparent);
        {
            QPainter painter(&photo);
            painter.drawImage(origin, subject);
            QPainter truthPainter(&truthCanvas);
            truthPainter.drawImage(origin, subject);
        }
        const QImage truth = alphaOf(truthCanvas);

        QElapsedTimer clock;
        clock.start();
        const QImage display =
            photo.scaled(photo.size().scaled(kDisplayRenderSide, kDisplayRenderSide, Qt::KeepAspectRatio),
                         Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const auto mask = isnetMask(display);
        const qint64 maskMs = clock.restart();
        if (!mask) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), qPrintable(mask.error().description));
            return 1;
        }
        const QImage plain = scaleMask(*mask, photo.size());
        const qint64 plainMs = clock.restart();
        const Scores p = score(plain, truth);
        const QString name = QFileInfo(path).completeBaseName();
        QImage refined;
        for (const double eps : epsList) {
            params.eps = eps;
            clock.restart();
            refined = refineMask(*mask, photo, params);
            const qint64 refineMs = clock.restart();
            const Scores r = score(refined, truth);
            const QString label = epsList.size() > 1 ? name + QStringLiteral(" eps=%1").arg(eps) : name;
            std::printf("%-28s %8.4f %8.4f | %8.4f %8.4f | %8.1f %8.1f | %7lld %7lld %7lld\n", qPrintable(label), p.iou,
                        r.iou, p.boundary, r.boundary, p.band, r.band, maskMs, plainMs, refineMs);
            std::fflush(stdout);
            if (eps == epsList.first()) {
                plainSum = {plainSum.iou + p.iou, plainSum.boundary + p.boundary, plainSum.band + p.band};
                refinedSum = {refinedSum.iou + r.iou, refinedSum.boundary + r.boundary, refinedSum.band + r.band};
            }
        }
        ++count;
        if (!out.isEmpty() && count == 1)
            photo.save(out + QStringLiteral("/%1-composite.jpg").arg(name), "JPEG", 92);
        if (!out.isEmpty())
            saveCrops(out, name, photo, plain, refined, QPoint(origin.x() + size.width() / 2, origin.y() + 300));
    }
    if (count > 0)
        std::printf("%-28s %8.4f %8.4f | %8.4f %8.4f | %8.1f %8.1f |\n", "mean", plainSum.iou / count,
                    refinedSum.iou / count, plainSum.boundary / count, refinedSum.boundary / count,
                    plainSum.band / count, refinedSum.band / count);
    return 0;
}
