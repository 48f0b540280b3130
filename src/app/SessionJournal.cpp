#include "app/SessionJournal.h"

#include "app/PhotoSelection.h"
#include "base/UiThread.h"

#include <QDir>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace lumora {

/// The writes, one after another on the work pool, in the order they were posted. What the jobs
/// share (`kept`) is touched only by the job running; the mutex hands it from one to the next.
struct SessionJournal::Lane {
    explicit Lane(JournalFolder journalFolder) : folder(std::move(journalFolder)) {}

    /// The kept original of a photo: the original it was written from and its file's name.
    struct Kept {
        SourceImage source;
        QString file;
    };

    const JournalFolder folder;
    std::mutex mutex;
    std::condition_variable idle;
    std::deque<std::function<void()>> jobs;
    bool running = false;
    std::atomic<int> photoWrites{0};
    QHash<QUuid, Kept> kept; ///< jobs only
    int nextGeneration = 1;  ///< jobs only

    static void post(const std::shared_ptr<Lane>& lane, std::function<void()> job)
    {
        std::lock_guard lock(lane->mutex);
        lane->jobs.push_back(std::move(job));
        if (lane->running)
            return;
        lane->running = true;
        startInBackground([lane] { lane->drain(); });
    }

    void drain()
    {
        for (;;) {
            std::function<void()> job;
            {
                std::lock_guard lock(mutex);
                if (jobs.empty()) {
                    running = false;
                    idle.notify_all();
                    return;
                }
                job = std::move(jobs.front());
                jobs.pop_front();
            }
            job();
        }
    }

    void wait()
    {
        std::unique_lock lock(mutex);
        idle.wait(lock, [this] { return !running && jobs.empty(); });
    }
};

namespace {

/// One photo's record as a job: written (with its original kept when `keepOriginal`), or
/// removed when the photo no longer differs from its file or left the list.
struct PhotoJob {
    QUuid id;
    bool record = false;
    bool keepOriginal = false;
    SourceImage original;
    EditState edits;
};

/// The number of a kept original's file name ("original-<id>-<n>.png"), 0 for other names.
int generationOf(const QString& name)
{
    static const QRegularExpression pattern(QStringLiteral("^original-[0-9a-f-]{36}-([0-9]{1,9})\\."));
    const auto match = pattern.match(name);
    return match.hasMatch() ? match.captured(1).toInt() : 0;
}

qint64 monotonicMs()
{
    static QElapsedTimer timer = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return timer.elapsed();
}

} // namespace

SessionJournal::SessionJournal(ImageProcessor& processor, const PhotoSelection& selection, JournalFolder folder,
                               Clock clock, QObject* parent)
    : QObject(parent), m_processor(processor), m_selection(selection), m_folder(std::move(folder)),
      m_clock(clock ? std::move(clock) : Clock(monotonicMs)), m_lane(std::make_shared<Lane>(m_folder))
{
    // New kept originals never take the name of one already in the folder (a restored photo's).
    for (const QString& name : QDir(m_folder.path()).entryList({QStringLiteral("original-*")}, QDir::Files))
        m_lane->nextGeneration = std::max(m_lane->nextGeneration, generationOf(name) + 1);
    m_journalExists = m_folder.hasJournal();
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, &SessionJournal::tick);
    connect(&m_processor, &ImageProcessor::photosChanged, this, &SessionJournal::photosChanged);
    connect(&m_selection, &PhotoSelection::selectionChanged, this, [this] {
        m_listDirty = true;
        markDirty();
    });
}

SessionJournal::~SessionJournal()
{
    waitForWrites();
}

void SessionJournal::expectRestored(const QUuid& id, const QString& keptFile)
{
    m_expected.insert(id, keptFile);
}

void SessionJournal::setListPaused(bool paused)
{
    m_listPaused = paused;
    if (!paused) {
        m_expected.clear();
        m_listDirty = true;
        markDirty();
    }
}

void SessionJournal::everyPhotoSaved()
{
    // Each file now holds its photo's render: that is the state a photo differs from from now on.
    for (const PhotoItem& photo : m_processor.photos()) {
        Base& base = m_bases[photo.id];
        base.identity = identityOf(photo.url.toLocalFile()).value_or(base.identity);
        base.original = photo.originalCI;
        base.edits = photo.edits;
        base.fileIsOriginal = false;
        m_dirty.insert(photo.id);
    }
    m_listDirty = true;
    write();
}

void SessionJournal::endSession()
{
    m_timer.stop();
    m_dirty.clear();
    waitForWrites();
    if (m_listPaused)
        return; // a restore still loading: the photos not yet back exist only in the journal
    m_folder.clear();
    m_journalExists = false;
    m_recorded.clear();
}

void SessionJournal::photosChanged(const PhotoChanges& changes)
{
    for (const QList<QUuid>* added : {&changes.appended, &changes.inserted}) {
        for (const QUuid& id : *added) {
            if (m_bases.contains(id))
                continue; // back from an undo: its file's state is known
            const PhotoItem* photo = m_processor.photo(id);
            if (!photo)
                continue;
            const QString kept = m_expected.take(id);
            if (kept.isEmpty()) {
                m_bases.insert(id, Base{photo->fileIdentity, photo->originalCI, {}, true});
                continue;
            }
            // Restored with a kept original: the lane knows its file, so it is not written again.
            m_bases.insert(id, Base{photo->fileIdentity, {}, {}, false});
            Lane::post(m_lane, [lane = m_lane, id, source = photo->originalCI, kept] {
                lane->kept.insert(id, Lane::Kept{source, kept});
            });
        }
    }
    for (const QList<QUuid>* ids : {&changes.appended, &changes.inserted, &changes.removed, &changes.edited}) {
        for (const QUuid& id : *ids)
            m_dirty.insert(id);
    }
    if (!changes.appended.isEmpty() || !changes.inserted.isEmpty() || !changes.removed.isEmpty() || changes.moved)
        m_listDirty = true;
    markDirty();
}

void SessionJournal::markDirty()
{
    if (m_timer.isActive())
        return;
    const qint64 since = m_clock() - m_lastWrite;
    m_timer.start(int(m_wroteOnce ? std::clamp<qint64>(kMinWriteIntervalMs - since, 0, kMinWriteIntervalMs) : 0));
}

void SessionJournal::tick()
{
    if (m_dirty.isEmpty() && !m_listDirty)
        return;
    const qint64 since = m_clock() - m_lastWrite;
    if (m_wroteOnce && since < kMinWriteIntervalMs) {
        m_timer.start(int(kMinWriteIntervalMs - since));
        return;
    }
    write();
}

bool SessionJournal::differsFromFile(const PhotoItem& photo) const
{
    const Base base = m_bases.value(photo.id);
    return !(photo.originalCI == base.original) || photo.edits != base.edits;
}

JournalSession SessionJournal::sessionNow() const
{
    JournalSession session;
    for (const PhotoItem& photo : m_processor.photos())
        session.photos.append(JournalEntry{photo.id, photo.url.toLocalFile(), m_bases.value(photo.id).identity});
    // In the order it was made: the first selected photo is the one "Bearbeiten" opens.
    for (const QUuid& id : m_selection.ordered()) {
        if (m_processor.indexOf(id) >= 0)
            session.selection.append(id);
    }
    return session;
}

void SessionJournal::write()
{
    m_lastWrite = m_clock();
    m_wroteOnce = true;
    std::vector<PhotoJob> jobs;
    for (const QUuid& id : std::as_const(m_dirty)) {
        const PhotoItem* photo = m_processor.photo(id);
        const bool differs = photo && differsFromFile(*photo);
        if (!differs) {
            if (m_recorded.remove(id))
                jobs.push_back(PhotoJob{id, false, false, {}, {}});
            continue;
        }
        m_recorded.insert(id);
        const Base& base = m_bases[id];
        const bool fileOriginal = base.fileIsOriginal && photo->originalCI == base.original;
        jobs.push_back(PhotoJob{id, true, !fileOriginal, photo->originalCI, photo->edits});
    }
    m_dirty.clear();

    if (m_recorded.isEmpty() && !m_listPaused) {
        // Nothing differs from its file: no journal.
        if (m_journalExists)
            Lane::post(m_lane, [lane = m_lane] { lane->folder.clear(); });
        m_journalExists = false;
        m_listDirty = false;
        return;
    }
    if (!jobs.empty()) {
        Lane::post(m_lane, [lane = m_lane, jobs = std::move(jobs)] {
            (void)lane->folder.create(); // made again if someone removed it; a failing write says why
            for (const PhotoJob& job : jobs) {
                if (!job.record) {
                    lane->folder.removePhotoFiles(job.id);
                    lane->kept.remove(job.id);
                    continue;
                }
                QString file;
                if (job.keepOriginal) {
                    Lane::Kept& kept = lane->kept[job.id];
                    if (!(kept.source == job.original) || kept.file.isEmpty()) {
                        auto written = lane->folder.writeOriginal(job.id, lane->nextGeneration++, job.original);
                        if (!written) {
                            qWarning("%s", qUtf8Printable(written.error().description));
                            continue; // the record keeps naming the last original written
                        }
                        kept = Lane::Kept{job.original, *written};
                    }
                    file = kept.file;
                } else {
                    lane->kept.remove(job.id);
                }
                const JournalPhoto record{job.id, job.original.size(), file, job.edits};
                if (auto written = lane->folder.writePhoto(record); !written) {
                    qWarning("%s", qUtf8Printable(written.error().description));
                    continue;
                }
                ++lane->photoWrites;
                // Only now that the record names its successor does an older original go.
                lane->folder.removeOriginals(job.id, file);
            }
        });
    }
    if ((m_listDirty || !m_journalExists) && !m_listPaused) {
        JournalSession session = sessionNow();
        Lane::post(m_lane, [lane = m_lane, session = std::move(session)] {
            (void)lane->folder.create();
            if (auto written = lane->folder.writeSession(session); !written) {
                qWarning("%s", qUtf8Printable(written.error().description));
                return;
            }
            QList<QUuid> ids;
            for (const JournalEntry& entry : session.photos)
                ids.append(entry.id);
            lane->folder.removeOthers(ids);
        });
        m_listDirty = false;
        m_journalExists = true;
    }
}

void SessionJournal::waitForWrites()
{
    m_lane->wait();
}

int SessionJournal::photoWrites() const
{
    return m_lane->photoWrites.load();
}

} // namespace lumora
