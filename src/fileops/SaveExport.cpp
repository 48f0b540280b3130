#include "fileops/SaveExport.h"

#include "base/AtomicFile.h"
#include "base/NativePath.h"
#include "base/Parallel.h"
#include "base/UiThread.h"
#include "model/ImageProcessor.h"
#include "pipeline/Encoders.h"
#include "pipeline/Render.h"
#include "pipeline/RowBands.h"

#include <QDir>
#include <QFileInfo>
#include <condition_variable>
#include <deque>
#include <future>
#include <mutex>
#include <thread>

namespace lumora {

namespace {

/// Where a photo of a run is written, and how.
struct Destination {
    std::function<QString(const PhotoSnapshot&)> pathOf;
    LinkAtTarget link = LinkAtTarget::replace;
    /// Only where the photo was loaded from (writing over originals).
    bool loadedPlaceOnly = false;

    [[nodiscard]] WriteRules rulesFor(const PhotoSnapshot& photo) const
    {
        return WriteRules{link, ExistingFile::replace, loadedPlaceOnly ? ownFileTarget(photo).place : FilePlace{}};
    }
};

using Written = std::expected<void, Error>;

/// An encoder's or the render's error with the photo it was about named after its fixed text.
Error aboutPhoto(Error error, const QString& path)
{
    error.description += QStringLiteral(" (") + quotedName(path) + QLatin1Char(')');
    return error;
}

/// Values handed from one thread to the next in order, at most `capacity` waiting: `put` waits
/// while the queue is full. With `untilTaken`, `put` also waits until its value has been taken,
/// so a producer of one value at a time cannot run ahead with a second (each may be a whole
/// file). Either side may close: `put` then drops its value and says so, and `take` returns what
/// is left, then nothing.
template <typename T>
class BoundedQueue {
public:
    enum class Put { queued, untilTaken };
    explicit BoundedQueue(size_t capacity, Put put = Put::queued) : m_capacity(capacity), m_put(put) {}
    bool put(T value)
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return m_values.size() < m_capacity || m_closed; });
        if (m_closed)
            return false;
        m_values.push_back(std::move(value));
        const quint64 ticket = ++m_putCount;
        m_changed.notify_all();
        if (m_put == Put::queued)
            return true;
        m_changed.wait(lock, [&] { return m_takenCount >= ticket || m_closed; });
        if (m_takenCount < ticket) { // closed before it was taken
            m_values.pop_back();
            return false;
        }
        return true;
    }
    std::optional<T> take()
    {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [&] { return !m_values.empty() || m_closed; });
        if (m_values.empty())
            return std::nullopt;
        std::optional<T> value = std::move(m_values.front());
        m_values.pop_front();
        ++m_takenCount;
        m_changed.notify_all();
        return value;
    }
    void close()
    {
        const std::scoped_lock lock(m_mutex);
        m_closed = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<T> m_values;
    const size_t m_capacity;
    const Put m_put;
    quint64 m_putCount = 0;
    quint64 m_takenCount = 0;
    bool m_closed = false;
};

/// Rows of a photo on their way to the encoder, top to bottom; or the render's failure.
struct Piece {
    int index = 0;
    QSize size;  ///< the final raster's
    QImage rows; ///< the next rows of it
    bool last = false;
    std::optional<Error> failure;
};

/// Rows per piece: a multiple of the painting's fixed bands, so the pieces have the pixels of
/// the whole render (see paintInRowBands).
constexpr int kPieceRows = kPaintBandRows;
/// Pieces rendered ahead of the encoder (about 4 MB each for a 24 MP photo). The next photo is
/// decoded while this one is rendered, so the encoder seldom waits for a piece; more than two
/// made an export of 24 MP photos no faster, only larger.
constexpr size_t kPiecesAhead = 2;

/// Bands the encoder is done with, for the render to write the next ones into: rows on their way
/// to the encoder come from these rather than from new memory, which the system clears page by
/// page each time (large blocks go back to it when freed). Holds a few bands of kPieceRows rows,
/// never a whole photo.
class SpareBands {
public:
    void give(QImage band)
    {
        const std::scoped_lock lock(m_mutex);
        if (m_bands.size() < kSpares && band.height() == kPieceRows && band.isDetached())
            m_bands.push_back(std::move(band));
    }
    QImage take()
    {
        const std::scoped_lock lock(m_mutex);
        if (m_bands.empty())
            return {};
        QImage band = std::move(m_bands.back());
        m_bands.pop_back();
        return band;
    }

private:
    // As many as can be on their way at once (the pieces queued, the one being encoded and the
    // one being rendered): where a photo ends, the encoder gives back all of them before the
    // render of the next photo takes one again, and a band not kept would be made anew.
    static constexpr size_t kSpares = kPiecesAhead + 2;
    std::mutex m_mutex;
    std::vector<QImage> m_bands;
};

/// A photo's file, complete and waiting for its commit; or why it could not be made.
struct Encoded {
    int index = 0;
    std::expected<AtomicFileWriter, Error> file;
};

/// The photo being encoded: its new file, which the encoder's bytes go into as they are made
/// (a JPEG's a part at a time, a PNG's at its end), so that no whole encoded file is held.
class PhotoEncoding {
public:
    PhotoEncoding(AtomicFileWriter file, ExportFormat format, QSize size) : m_file(std::move(file))
    {
        if (format == ExportFormat::png)
            m_encoder = std::make_unique<PngBandEncoder>(size);
        else
            m_encoder = std::make_unique<JpegBandEncoder>(
                size, 0.95, [this](QByteArrayView bytes) { return bool(m_file.write(bytes)); });
    }

    /// Adds the rows; the error of the file, or of the encoder with the photo `source` named.
    std::expected<void, Error> add(const QImage& rows, const QString& source)
    {
        if (auto added = m_encoder->add(rows); !added)
            return std::unexpected(m_file.failure().value_or(aboutPhoto(added.error(), source)));
        return {};
    }

    /// The complete file, to be committed; or the error as add() gives it.
    std::expected<AtomicFileWriter, Error> finish(const QString& source)
    {
        auto bytes = m_encoder->finish();
        m_encoder.reset();
        if (!bytes)
            return std::unexpected(m_file.failure().value_or(aboutPhoto(bytes.error(), source)));
        if (auto written = m_file.write(*bytes); !written)
            return std::unexpected(written.error());
        return std::move(m_file);
    }

private:
    AtomicFileWriter m_file;
    std::unique_ptr<BandEncoder> m_encoder;
};

/// Encodes the pieces as they come into each photo's new file and hands the complete files (or
/// the photo's failure) on, until the pieces end or the writer stops taking. `openFile` makes
/// the new file of a photo.
void encodePieces(BoundedQueue<Piece>& toEncode, BoundedQueue<Encoded>& toWrite, SpareBands& spares,
                  ExportFormat format, const std::function<std::expected<AtomicFileWriter, Error>(int)>& openFile,
                  const std::function<QString(int)>& sourceOf)
{
    std::unique_ptr<PhotoEncoding> encoding;
    int current = -1;
    int failed = -1; // the photo whose remaining pieces are passed over
    while (std::optional<Piece> piece = toEncode.take()) {
        if (piece->index == failed)
            continue;
        std::optional<std::expected<AtomicFileWriter, Error>> done;
        const QString source = sourceOf(piece->index);
        if (piece->failure) {
            done = std::unexpected(aboutPhoto(*piece->failure, source)); // the render's failure, written as none
        } else {
            if (!encoding || piece->index != current) {
                current = piece->index;
                encoding.reset();
                if (auto file = openFile(current))
                    encoding = std::make_unique<PhotoEncoding>(std::move(*file), format, piece->size);
                else
                    done = std::unexpected(file.error());
            }
            if (!done && !piece->rows.isNull())
                if (auto added = encoding->add(piece->rows, source); !added)
                    done = std::unexpected(added.error());
            spares.give(std::exchange(piece->rows, QImage())); // the rows go before the next ones arrive
            if (!done && piece->last)
                done = encoding->finish(source);
        }
        if (!done)
            continue;
        encoding.reset(); // a file left unfinished is removed
        if (!*done)
            failed = piece->index;
        if (!toWrite.put(Encoded{piece->index, std::move(*done)}))
            break;
    }
}

/// The memory for the working rasters of the photo being rendered and the next one being decoded:
/// the largest photo's raster and this share of it again. The next decode takes what the render
/// lets go, so more than this made an export of 24 MP photos no faster, only larger.
constexpr double kNextPhotoShare = 0.1;

/// A photo decoded and its render started; or why it could not be decoded.
struct Prepared {
    std::optional<Error> undecodable;
    std::expected<BandedRender, Error> render = BandedRender{};
    Tile held; ///< a photo decoded whole: its raster, counted in the pool while it is held
};

/// Decodes photo `index` and starts its render: band by band into tiles of `pool` where the
/// photo and its turn allow it, so that it is decoded while the photo before is rendered (the
/// pool paces the two); otherwise whole, once the photo before has let its pixels go.
Prepared prepare(const PhotoSnapshot& job, int index, TilePool& pool)
{
    Prepared prepared;
    const QSize size = job.originalCI.size();
    {
        BandedSource source(size, size, job.edits, pool, index);
        if (source.streams()) {
            const BandDecode decoded = job.originalCI.decodeInBands(
                kPaintBandRows, [&](int firstRow, int rows) { return source.bandFor(firstRow, rows); },
                [&](QImage& band, int firstRow) { return source.add(band, firstRow); });
            if (decoded == BandDecode::complete) {
                prepared.render = BandedRender::start(std::move(source));
                return prepared;
            }
        }
    } // tiles of a refused decode go back
    pool.waitForEarlier(index);
    if (pool.isClosed()) { // the run has ended
        prepared.undecodable = Error{};
        return prepared;
    }
    auto whole = job.originalCI.decode();
    if (!whole) {
        prepared.undecodable = whole.error();
        return prepared;
    }
    prepared.held = pool.count(index, whole->sizeInBytes());
    prepared.render = BandedRender::start(std::move(*whole), size, job.edits);
    return prepared;
}

/// Renders photo `index` band by band and hands its rows on, letting each band's source go once
/// made; false when the encoder stopped taking (a write failed).
bool renderPieces(Prepared prepared, int index, BoundedQueue<Piece>& toEncode, SpareBands& spares)
{
    std::expected<BandedRender, Error>& render = prepared.render;
    std::optional<Error> failure;
    if (!render)
        failure = render.error();
    const QSize size = render ? render->size() : QSize();
    int pieceRows = kPieceRows;
    if (render && render->renderedWhole()) {
        // An arbitrary turn was rendered whole: the original has gone already, and the raster
        // goes to the encoder in one piece (no copy), as the render moves on to the next photo.
        prepared.held = Tile();
        pieceRows = size.height();
    }
    for (int y = 0; !failure && y < size.height(); y += pieceRows) {
        // A photo's last rows are fewer: a spare band would be dropped for them.
        auto rows = render->rows(y, pieceRows, y + pieceRows <= size.height() ? spares.take() : QImage());
        if (!rows) {
            failure = rows.error();
            break;
        }
        render->releaseBand(y);
        const bool last = y + pieceRows >= size.height();
        if (last) {
            render->releaseSource();
            prepared.held = Tile();
        }
        if (!toEncode.put(Piece{index, size, std::move(*rows), last, std::nullopt}))
            return false;
    }
    if (!failure && !size.isEmpty())
        return true;
    if (render)
        render->releaseSource();
    prepared.held = Tile();
    // A failed render, or an empty one (the encoder's own failure follows).
    return toEncode.put(Piece{index, size, {}, true, failure});
}

/// The largest working raster of the jobs (a photo's upright pixels, 4 bytes each).
qsizetype largestRaster(const QList<PhotoSnapshot>& jobs)
{
    qsizetype largest = 0;
    for (const PhotoSnapshot& job : jobs)
        largest = std::max(largest, qsizetype(job.originalCI.size().width()) * job.originalCI.size().height() * 4);
    return largest;
}

/// Writes the jobs as a pipeline over both cores: each photo is rendered a band of rows at a
/// time (on both cores) a few bands ahead of the encoder, so the rendered photo is never held
/// whole; photo i + 1 is decoded while photo i is rendered, into the memory that photo i's bands
/// let go as they are made. Files are written, and progress reported, strictly in order; the
/// first failure ends the run after the writes before it have finished.
void runWrites(const QList<PhotoSnapshot>& jobs, const Destination& destination,
               const std::shared_ptr<CancelToken>& token, const ProgressStreamPtr& stream, ExportFormat format)
{
    const int total = int(jobs.size());
    BoundedQueue<Piece> toEncode(kPiecesAhead);
    SpareBands spares;
    BoundedQueue<Encoded> toWrite(1, BoundedQueue<Encoded>::Put::untilTaken);
    std::optional<StreamEnd> failure; // the writer's, read after it has ended

    const auto openFile = [&](int index) {
        return AtomicFileWriter::open(destination.pathOf(jobs[index]), destination.rulesFor(jobs[index]));
    };
    const auto sourceOf = [&](int index) { return jobs[index].url.toLocalFile(); };
    std::jthread encoder([&] {
        encodePieces(toEncode, toWrite, spares, format, openFile, sourceOf);
        toEncode.close();
        toWrite.close();
    });
    std::jthread writer([&] {
        while (std::optional<Encoded> next = toWrite.take()) {
            const Written written = next->file ? next->file->commit() : Written(std::unexpected(next->file.error()));
            if (!written) {
                failure = StreamEnd{written.error(), false, next->index, total};
                break;
            }
            stream->yield(double(next->index + 1) / total);
        }
        // Nothing more is written: the stages before stop at their next hand-over.
        toWrite.close();
        toEncode.close();
    });

    // However this thread leaves (an exception too), the encoder learns that nothing more comes
    // before the threads are joined.
    const std::unique_ptr<BoundedQueue<Piece>, void (*)(BoundedQueue<Piece>*)> closeOnExit(
        &toEncode, [](BoundedQueue<Piece>* queue) { queue->close(); });

    // The memory for the working rasters: this photo's and the next one's, which is decoded
    // meanwhile. Closed when the run ends, so that a decode waiting for it gives up.
    TilePool pool(qsizetype(double(largestRaster(jobs)) * (1.0 + kNextPhotoShare)));

    // Ends the run once every photo handed over before has been written (or the first failed).
    std::optional<StreamEnd> ended;
    const auto finishAfterWrites = [&](StreamEnd end) {
        pool.close();
        toEncode.close();
        encoder.join();
        writer.join();
        ended = failure ? *failure : end;
    };
    // Decodes and renders run behind the encoder, on threads of their own (the decodes it starts
    // inherit its priority): the encoder is the one stage that cannot be split over cores, and
    // sharing its core on equal terms with them slows it down, and the whole run with it.
    std::jthread([&] {
        lowerThreadPriority(5);
        const auto prepareAhead = [&](int i) {
            return std::async(std::launch::async, [&, i] { return prepare(jobs[i], i, pool); });
        };
        std::future<Prepared> ahead = total > 0 ? prepareAhead(0) : std::future<Prepared>();
        // However this thread leaves, a decode still waiting for the pool ends before `ahead` goes.
        const std::unique_ptr<TilePool, void (*)(TilePool*)> closePool(&pool, [](TilePool* p) { p->close(); });
        for (int i = 0; i < total; ++i) {
            if (token && token->isCancelled())
                return finishAfterWrites(StreamEnd{std::nullopt, true, i, total});
            Prepared prepared = ahead.get();
            if (prepared.undecodable) {
                // The encoder's own text first, then which photo could not be decoded and why.
                const auto code = format == ExportFormat::png ? encoderErrors::pngNoImage : encoderErrors::jpegNoImage;
                Error error = encodingError(code);
                error.description +=
                    QStringLiteral(": ") + namingFile(*prepared.undecodable, jobs[i].url.toLocalFile()).description;
                return finishAfterWrites(StreamEnd{error, false, i, total});
            }
            // The next photo is decoded while this one is rendered.
            if (i + 1 < total)
                ahead = prepareAhead(i + 1);
            if (!renderPieces(std::move(prepared), i, toEncode, spares))
                return finishAfterWrites(StreamEnd{}); // a write failed: its end is reported
        }
        finishAfterWrites(StreamEnd{std::nullopt, false, total, total});
    }).join();
    // Told only now, from this thread, which goes on: every thread of the run has ended, so a
    // program that exits once it is told does not tear down the libraries a thread is still
    // using as it ends.
    stream->finish(*ended);
}

ProgressStreamPtr start(QList<PhotoSnapshot> jobs, Destination destination, std::shared_ptr<CancelToken> token,
                        ExportFormat format)
{
    ProgressStreamPtr stream = ProgressStream::create();
    startInBackground([jobs = std::move(jobs), destination = std::move(destination), token = std::move(token), stream,
                       format] { runWrites(jobs, destination, token, stream, format); });
    return stream;
}

QList<PhotoSnapshot> snapshotsOf(const QList<PhotoItem>& photos, qsizetype count)
{
    QList<PhotoSnapshot> snapshots;
    for (qsizetype i = 0; i < photos.size() && i < count; ++i)
        snapshots.append(snapshotOf(photos[i], int(i)));
    return snapshots;
}

} // namespace

int numberWidth(int count)
{
    return int(QString::number(std::max(count, 0)).size());
}

QString exportFileName(int index, int width, const QUrl& url, ExportFormat format)
{
    const QString name = QFileInfo(url.path()).fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    QString base = dot < 0 ? name : name.left(dot);
    const QString number = QStringLiteral("%1_").arg(index + 1, width, 10, QLatin1Char('0'));
    const QString ending = format == ExportFormat::png ? QStringLiteral(".png") : QStringLiteral(".jpg");
    // The number and the ending may take a name past what a file system holds: the base name
    // gives way, whole characters at a time, so the export goes on.
    while (!base.isEmpty() && nativePath(number + base + ending).size() > kMaxFileNameBytes) {
        const bool pair = base.size() > 1 && base.back().isLowSurrogate() && base[base.size() - 2].isHighSurrogate();
        base.chop(pair ? 2 : 1);
    }
    return number + base + ending;
}

ProgressStreamPtr saveOverOriginals(const ImageProcessor& processor, std::shared_ptr<CancelToken> token)
{
    // An original reached through a link is the photo the user opened; a link swapped in later is not.
    // A camera RAW file keeps its sensor data: its JPEG goes beside it.
    Destination originals{[](const PhotoSnapshot& photo) { return ownFileTarget(photo).path; }, LinkAtTarget::follow,
                          true};
    return start(snapshotsOf(processor.photos(), processor.photos().size()), std::move(originals), std::move(token),
                 ExportFormat::jpeg);
}

ProgressStreamPtr exportPhotos(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token, int width,
                               const QString& folder, int count, ExportFormat format)
{
    const QDir dir(folder);
    Destination numbered{[dir, width, format](const PhotoSnapshot& photo) {
                             return dir.filePath(exportFileName(photo.index, width, photo.url, format));
                         },
                         LinkAtTarget::replace, false};
    return start(snapshotsOf(snapshot, count), std::move(numbered), std::move(token), format);
}

ProgressStreamPtr exportJPEG(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token, int width,
                             const QString& folder, int count)
{
    return exportPhotos(snapshot, std::move(token), width, folder, count, ExportFormat::jpeg);
}

ProgressStreamPtr exportPNG(const QList<PhotoItem>& snapshot, std::shared_ptr<CancelToken> token, int width,
                            const QString& folder, int count)
{
    return exportPhotos(snapshot, std::move(token), width, folder, count, ExportFormat::png);
}

} // namespace lumora
