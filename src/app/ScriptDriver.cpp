#include "app/ScriptDriver.h"

#include "app/PhotoSelection.h"
#include "app/SessionJournal.h"
#include "fileops/SaveExport.h"
#include "model/ImageProcessor.h"
#include "pipeline/EditsJson.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace lumora {

void driverReply(const QString& line)
{
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

// --- standard input ---

std::optional<QByteArray> StdinLines::take()
{
    const qsizetype end = m_buffer.indexOf('\n');
    if (end < 0)
        return std::nullopt;
    QByteArray line = m_buffer.left(end);
    m_buffer.remove(0, end + 1);
    return line;
}

void StdinLines::read(bool wait)
{
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::poll(&input, 1, wait ? -1 : 0) <= 0)
        return;
    char chunk[4096];
    const ssize_t got = ::read(STDIN_FILENO, chunk, sizeof chunk);
    if (got > 0)
        m_buffer.append(chunk, got);
    else if (got == 0 || errno != EINTR)
        m_ended = true;
}

std::optional<QByteArray> StdinLines::next()
{
    for (;;) {
        if (auto line = take())
            return line;
        if (m_ended)
            return std::nullopt;
        read(true);
    }
}

std::optional<QByteArray> StdinLines::poll()
{
    if (auto line = take())
        return line;
    if (!m_ended)
        read(false);
    return take();
}

// --- questions ---

std::optional<int> DrivenDialogs::ask(const QuestionRequest& request)
{
    driverReply(QStringLiteral("ask ") + QString(request.message).replace(QLatin1Char('\n'), QLatin1Char('|')));
    const std::optional<QByteArray> line = m_lines.next();
    if (!line || !line->startsWith("answer"))
        return std::nullopt;
    const QString text = QString::fromUtf8(line->mid(7));
    for (qsizetype i = 0; i < request.buttons.size(); ++i) {
        if (request.buttons[i].text == text)
            return int(i);
    }
    return std::nullopt;
}

void DrivenDialogs::inform(const QString& title, const QString& message)
{
    driverReply(
        QStringLiteral("inform %1: %2").arg(title, QString(message).replace(QLatin1Char('\n'), QLatin1Char('|'))));
}

// --- commands ---

ScriptDriver::ScriptDriver(StdinLines& lines, ImageProcessor& processor, PhotoSelection& selection,
                           SessionJournal* journal, QObject* parent)
    : QObject(parent), m_lines(lines), m_processor(processor), m_selection(selection), m_journal(journal),
      m_notifier(new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, this))
{
    connect(m_notifier, &QSocketNotifier::activated, this, &ScriptDriver::readable);
    QTimer::singleShot(0, this, &ScriptDriver::readable); // lines that came before the loop ran
}

void ScriptDriver::readable()
{
    while (auto line = m_lines.poll())
        m_waiting.append(*line);
    if (m_lines.ended())
        m_notifier->setEnabled(false);
    while (!m_busy && !m_waiting.isEmpty())
        run(m_waiting.takeFirst());
}

void ScriptDriver::run(const QByteArray& line)
{
    const QList<QByteArray> words = line.split(' ');
    const QByteArray command = words.value(0);
    const auto done = [this] {
        m_busy = false;
        QTimer::singleShot(0, this, &ScriptDriver::readable);
    };
    QList<QUuid> selected = m_selection.ordered();
    const QSet<QUuid> selectedSet(selected.begin(), selected.end());
    if (command == "load") {
        QList<QUrl> urls;
        for (qsizetype i = 1; i < words.size(); ++i)
            urls.append(QUrl::fromLocalFile(QString::fromUtf8(words[i])));
        m_busy = true;
        m_processor.loadPhotos(urls, [this, done] {
            driverReply(QStringLiteral("loaded %1").arg(m_processor.photos().size()));
            done();
        });
        return;
    }
    // Commands about one photo use the first selected one that is still there.
    const PhotoItem* first = nullptr;
    for (const QUuid& id : selected)
        if ((first = m_processor.photo(id)))
            break;
    if (command == "select") {
        QList<QUuid> ids;
        for (qsizetype i = 1; i < words.size(); ++i) {
            bool number = false;
            const int index = words[i].toInt(&number);
            if (!number || index < 0 || index >= m_processor.photos().size()) {
                driverReply(QStringLiteral("failed kein Foto ") + QString::fromUtf8(words[i]));
                return;
            }
            ids.append(m_processor.photos()[index].id);
        }
        m_selection.restore(ids);
    } else if (command == "adjust" && words.size() == 6) {
        m_processor.applyAdjustment(
            {words[1].toDouble(), words[2].toDouble(), words[3].toDouble(), words[4].toDouble(), words[5].toDouble()},
            selectedSet);
    } else if (command == "rotate") {
        m_processor.rotate(selectedSet, words.value(1) == "left" ? RotationDirection::left : RotationDirection::right);
    } else if (command == "flip") {
        m_processor.flip(selectedSet, words.value(1) == "h" ? FlipDirection::horizontal : FlipDirection::vertical);
    } else if (command == "add") {
        addEdits(line.mid(4));
    } else if ((command == "bake" || command == "crop") && !first) {
        driverReply(QStringLiteral("failed kein Foto ausgewählt"));
        return;
    } else if (command == "bake") {
        m_busy = true;
        m_processor.flattenEditsInBackground(first->id, first->edits.textMarks, this, [done](bool) {
            driverReply(QStringLiteral("ok"));
            done();
        });
        return;
    } else if (command == "crop" && words.size() == 5) {
        const QRect rect(words[1].toInt(), words[2].toInt(), words[3].toInt(), words[4].toInt());
        if (auto pixels = first->originalCI.decode())
            m_processor.replaceImage(first->id, SourceImage::fromRasterInCache(pixels->copy(rect)));
    } else if (command == "settle") {
        m_busy = true;
        settle();
        return;
    } else if (command == "state") {
        QJsonArray photos;
        for (const PhotoItem& photo : m_processor.photos())
            photos.append(QJsonObject{
                {QStringLiteral("file"), photo.url.fileName()},
                {QStringLiteral("size"), QJsonArray{photo.originalCI.size().width(), photo.originalCI.size().height()}},
                {QStringLiteral("edits"), editStateToJson(photo.edits)}});
        driverReply(QStringLiteral("state ") + QString::fromUtf8(QJsonDocument(photos).toJson(QJsonDocument::Compact)));
        return;
    } else if (command == "export") {
        m_busy = true;
        const QList<PhotoItem> photos = m_processor.photos();
        const int count = int(photos.size());
        auto token = std::make_shared<CancelToken>();
        // Cancelled, as from the progress sheet, once that many photos are written.
        const int stopAfter = words.size() > 2 ? words[2].toInt() : -1;
        exportJPEG(photos, token, numberWidth(count), QString::fromUtf8(words.value(1)), count)
            ->subscribe(
                this,
                [token, stopAfter, count](double fraction) {
                    if (stopAfter >= 0 && int(std::lround(fraction * count)) >= stopAfter)
                        token->cancel();
                },
                [done](const StreamEnd& end) {
                    driverReply(end.error       ? QStringLiteral("failed ") + end.error->description
                                : end.cancelled ? QStringLiteral("cancelled %1").arg(end.done)
                                                : QStringLiteral("exported"));
                    done();
                });
        return;
    } else if (command == "quit") {
        QCoreApplication::quit();
        return;
    } else {
        driverReply(QStringLiteral("unknown ") + QString::fromUtf8(line));
        return;
    }
    driverReply(QStringLiteral("ok"));
}

void ScriptDriver::addEdits(const QByteArray& json)
{
    for (const QUuid& id : m_selection.ordered()) {
        const PhotoItem* photo = m_processor.photo(id);
        if (!photo)
            continue; // removed since it was selected
        auto added = editStateFromJson(json, photo->originalCI.size());
        if (!added) {
            driverReply(QStringLiteral("failed ") + added.error());
            return;
        }
        EditState edits = photo->edits;
        edits.masks += added->masks;
        edits.freehandOverlays += added->freehandOverlays;
        edits.textMarks += added->textMarks;
        if (added->watermark)
            edits.watermark = added->watermark;
        m_processor.setEdits(id, edits);
    }
}

void ScriptDriver::settle()
{
    if (m_processor.isBusy() || (m_journal && m_journal->hasPending())) {
        QTimer::singleShot(20, this, &ScriptDriver::settle);
        return;
    }
    if (m_journal)
        m_journal->waitForWrites();
    driverReply(QStringLiteral("settled"));
    m_busy = false;
    QTimer::singleShot(0, this, &ScriptDriver::readable);
}

} // namespace lumora
