#include "app/editor/CropTool.h"

#include "app/editor/EditorController.h"
#include "base/Progress.h"
#include "fileops/BatchCrop.h"
#include "fileops/FolderBookmarkStore.h"
#include "model/ImageProcessor.h"
#include "platform/Dialogs.h"

#include <QPointer>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

const QString kTooSmall = QStringLiteral("Der Ausschnitt ist zu klein.");
constexpr int kListedErrors = 5;

/// A field's text as an integer above 0.
std::optional<int> positiveInteger(const QString& text)
{
    bool ok = false;
    const int value = text.trimmed().toInt(&ok);
    if (!ok || value <= 0)
        return std::nullopt;
    return value;
}

QString folderText(const QUrl& folder)
{
    return folder.isLocalFile() ? folder.toLocalFile() : folder.path();
}

} // namespace

QString cropSummary(const BatchCropResult& result, bool overwrite)
{
    QStringList lines;
    if (result.erfolgreich >= 1) {
        QString written = result.erfolgreich == 1
                              ? QStringLiteral("1 Foto zugeschnitten und ")
                              : QString::number(result.erfolgreich) + QStringLiteral(" Fotos zugeschnitten und ");
        written += overwrite ? QStringLiteral("überschrieben") : QStringLiteral("als Kopie gespeichert");
        lines << written + QLatin1Char('.');
        if (result.speicherOrdner)
            lines << QStringLiteral("Speicherort: ") + folderText(*result.speicherOrdner);
    }
    if (result.uebersprungen >= 1)
        lines << QString::number(result.uebersprungen)
                     + QStringLiteral(" Foto(s) übersprungen (Zuschnitt wäre zu klein).");
    if (!result.fehler.isEmpty()) {
        const qsizetype m = result.fehler.size();
        lines << QStringLiteral("Fehler bei ") + QString::number(m) + QStringLiteral(" Foto(s):");
        for (qsizetype i = 0; i < std::min<qsizetype>(m, kListedErrors); ++i)
            lines << QStringLiteral("  • ") + result.fehler[i];
        if (m > kListedErrors)
            lines << QStringLiteral("  • … und ") + QString::number(m - kListedErrors) + QStringLiteral(" weitere");
    }
    if (lines.isEmpty())
        return QStringLiteral("Keine Fotos verarbeitet.");
    return lines.join(QLatin1Char('\n'));
}

std::optional<QRectF> normalizedCropRect(const QRectF& frame, QSizeF orientedSize, QSizeF canvas)
{
    const double dw = orientedSize.width(), dh = orientedSize.height();
    if (!(dw > 0) || !(dh > 0) || !(canvas.width() > 0) || !(canvas.height() > 0))
        return std::nullopt;
    const double s = std::min(canvas.width() / dw, canvas.height() / dh);
    const double fw = dw * s, fh = dh * s;
    const double ox = (canvas.width() - fw) / 2, oy = (canvas.height() - fh) / 2;
    // The frame is cut to the fitted image on all four sides. Cutting only the left and top
    // origin and keeping the frame's full width would move a frame that starts left of the
    // image to the right by what lay outside, and crop pixels the user did not frame.
    const double left = std::max(frame.left() - ox, 0.0), top = std::max(frame.top() - oy, 0.0);
    const double right = std::min(frame.right() - ox, fw), bottom = std::min(frame.bottom() - oy, fh);
    const double nx = left / fw, ny = top / fh;
    const double nw = (right - left) / fw, nh = (bottom - top) / fh;
    if (!(nw > CropTool::kMinimumFraction) || !(nh > CropTool::kMinimumFraction))
        return std::nullopt;
    return QRectF(nx, ny, nw, nh);
}

// --- the frame ---

void CropTool::dragChanged(QPointF start, QPointF current)
{
    EditorState& s = m_editor.state();
    if (s.cropAktiverDragModus == CropDragModus::keiner) {
        if (s.cropRect && s.cropRect->contains(start)) {
            s.cropAktiverDragModus = CropDragModus::verschieben;
            s.cropDragStartFrame = *s.cropRect;
        } else {
            s.cropAktiverDragModus = CropDragModus::neuAufziehen;
            s.cropDragStart = start;
        }
    }
    if (s.cropAktiverDragModus == CropDragModus::neuAufziehen)
        s.cropRect = QRectF(s.cropDragStart, current).normalized();
    else
        s.cropRect = s.cropDragStartFrame.translated(current - start);
}

void CropTool::dragEnded()
{
    EditorState& s = m_editor.state();
    s.cropAktiverDragModus = CropDragModus::keiner;
    s.cropDragStartFrame = QRectF();
}

QString CropTool::hint() const
{
    if (m_editor.state().cropRect)
        return QStringLiteral("Rahmen ziehen oder 'Anwenden' klicken");
    return QStringLiteral("Ziehe einen Rahmen um den Bereich den du behalten möchtest");
}

std::optional<QSize> CropTool::pixelLabel() const
{
    const PhotoItem* photo = m_editor.photo();
    const std::optional<QRectF>& frame = m_editor.state().cropRect;
    if (!frame || !photo || !photo->preview)
        return std::nullopt;
    const CanvasMapping mapping = m_editor.mapping();
    const QSizeF fitted = mapping.orientedSize() * mapping.fitScale(m_editor.canvasSize());
    if (!(fitted.width() > 0) || !(fitted.height() > 0))
        return std::nullopt;
    const QSize pixels = photo->preview->pixelSize;
    return QSize(int(frame->width() / fitted.width() * pixels.width()),
                 int(frame->height() / fitted.height() * pixels.height()));
}

void CropTool::setFrameFromSize()
{
    EditorState& s = m_editor.state();
    const std::optional<int> width = positiveInteger(s.cropMassBreite);
    const std::optional<int> height = positiveInteger(s.cropMassHoehe);
    const PhotoItem* photo = m_editor.photo();
    if (!width || !height || !photo || !photo->preview)
        return;
    const QSize pixels = photo->preview->pixelSize;
    if (pixels.isEmpty())
        return;
    const double cw = std::min(*width, pixels.width()), ch = std::min(*height, pixels.height());
    const CanvasMapping mapping = m_editor.mapping();
    const QSizeF d = mapping.orientedSize();
    if (!(d.width() > 0) || !(d.height() > 0))
        return;
    const QRectF fitted = mapping.fittedRect(s.lastKnownViewSize);
    const QSizeF frame(cw / pixels.width() * fitted.width(), ch / pixels.height() * fitted.height());
    s.cropRect = QRectF(fitted.center() - QPointF(frame.width() / 2, frame.height() / 2), frame);
    Q_EMIT m_editor.changed();
}

void CropTool::removeFrame()
{
    m_editor.state().cropRect.reset();
    Q_EMIT m_editor.changed();
}

// --- check, confirmation and the run ---

void CropTool::apply(bool alsBatch)
{
    EditorState& s = m_editor.state();
    if (m_progress)
        return; // a crop is running
    s.cropAlsBatch = alsBatch;
    s.isCropping = true;
    check();
}

void CropTool::check()
{
    EditorState& s = m_editor.state();
    if (!s.cropRect) {
        s.isCropping = false;
        return;
    }
    const QRectF frame = *s.cropRect;
    if (!(frame.width() > kMinimumSide) || !(frame.height() > kMinimumSide)) {
        s.isCropping = false;
        showAlert(kTooSmall);
        return;
    }
    if (const PhotoItem* photo = m_editor.photo(); photo && !photo->edits.textMarks.isEmpty())
        m_editor.processor().flattenEdits(m_editor.photoId(), photo->edits.textMarks);
    const QSizeF oriented = m_editor.mapping().orientedSize();
    if (!(oriented.width() > 0) || !(oriented.height() > 0)) {
        s.isCropping = false;
        return;
    }
    const QSizeF canvas = m_editor.canvasSize();
    const std::optional<QRectF> normalized = normalizedCropRect(frame, oriented, canvas);
    if (!normalized) {
        s.isCropping = false;
        showAlert(kTooSmall);
        return;
    }
    s.cropPendingViewRect = normalized;
    s.cropPendingGeoSize = canvas;
    confirm();
}

void CropTool::confirm()
{
    EditorState& s = m_editor.state();
    const bool batch = s.cropAlsBatch;
    QuestionRequest question;
    question.title = batch ? QStringLiteral("Zuschnitt auf ") + QString::number(m_editor.selectedPhotoIDs().size())
                                 + QStringLiteral(" Fotos anwenden")
                           : QStringLiteral("Zuschnitt anwenden");
    question.message =
        batch ? QStringLiteral("Kopien werden im selben Ordner mit dem Suffix -neu.jpg gespeichert. Beim Überschreiben "
                               "werden die Originale ersetzt — dies kann nicht rückgängig gemacht werden.")
              : QStringLiteral("Kopie wird im selben Ordner mit dem Suffix -neu.jpg gespeichert. Beim Überschreiben "
                               "wird das Original ersetzt — dies kann nicht rückgängig gemacht werden.");
    question.buttons = {{QStringLiteral("Kopie anlegen"), DialogButton::Role::normal},
                        {QStringLiteral("Original überschreiben"), DialogButton::Role::destructive},
                        {QStringLiteral("Abbrechen"), DialogButton::Role::cancel}};
    question.escapeButton = 2;
    question.defaultButton = 0;

    s.zeigeCropBestaetigung = true;
    Q_EMIT m_editor.changed();
    const std::optional<int> answer = m_editor.dialogs().ask(question);
    s.zeigeCropBestaetigung = false;
    if (answer == 0 || answer == 1) {
        start(answer == 1);
        return;
    }
    // "Abbrechen", or the dialog was closed without a choice.
    s.isCropping = false;
    s.cropPendingViewRect.reset();
    Q_EMIT m_editor.changed();
}

QString CropTool::batchButtonLabel() const
{
    const qsizetype n = m_editor.selectedPhotoIDs().size();
    if (n >= 2)
        return QStringLiteral("Auf ") + QString::number(n) + QStringLiteral(" Fotos anwenden");
    return QStringLiteral("Auf alle markierten anwenden");
}

QString CropTool::tipLine() const
{
    if (m_editor.selectedPhotoIDs().size() > 1)
        return QStringLiteral("Empfohlen für Fotos im selben Format.");
    return QStringLiteral("Tipp: Mehrere Fotos in der Übersicht markieren, um den Zuschnitt auf alle anzuwenden.");
}

std::optional<std::pair<int, int>> CropTool::progress() const
{
    return m_progress;
}

QList<QUuid> CropTool::cropIds() const
{
    const QList<QUuid>& selected = m_editor.selectedPhotoIDs();
    if (m_editor.state().cropAlsBatch && selected.size() >= 2)
        return selected;
    return {m_editor.photoId()};
}

void CropTool::start(bool overwrite)
{
    EditorState& s = m_editor.state();
    if (!s.cropPendingViewRect) {
        s.isCropping = false;
        Q_EMIT m_editor.changed();
        return;
    }
    const QList<QUuid> ids = cropIds();
    const int total = int(ids.size());
    m_progress = std::pair{0, total};
    Q_EMIT m_editor.changed();

    // The editor may be closed while the crop runs; every callback asks whether it still exists.
    const QPointer<EditorController> editor(&m_editor);
    auto self = [editor]() -> CropTool* {
        return editor ? static_cast<CropTool*>(editor->tool(DrawingMode::crop)) : nullptr;
    };
    ProgressStreamPtr progress = ProgressStream::create();
    progress->subscribe(&m_editor,
                        [self, total](double fraction) {
                            if (CropTool* tool = self(); tool && tool->m_progress) {
                                tool->m_progress->first = int(std::lround(fraction * total));
                                Q_EMIT tool->m_editor.changed();
                            }
                        },
                        {});
    FolderBookmarkStore& folders =
        m_editor.folderAccess() ? *m_editor.folderAccess() : FolderBookmarkStore::shared(m_editor.dialogs());
    batchCrop(
        m_editor.processor(), QSet<QUuid>(ids.begin(), ids.end()), *s.cropPendingViewRect, overwrite, folders,
        [self, overwrite, ids](BatchCropResult result) {
            if (CropTool* tool = self())
                tool->finish(result, overwrite, ids);
        },
        progress);
}

void CropTool::finish(const BatchCropResult& result, bool overwrite, const QList<QUuid>& ids)
{
    EditorState& s = m_editor.state();
    m_progress.reset();
    if (overwrite && ids.contains(m_editor.photoId())) {
        if (const PhotoItem* photo = m_editor.photo(); photo && photo->preview)
            s.editorPreview = photo->preview->bitmap;
        m_editor.rerenderPreview(); // the preview for the canvas's size follows
    }
    s.cropRect.reset();
    s.isCropping = false;
    s.cropPendingViewRect.reset();
    showAlert(cropSummary(result, overwrite));
}

void CropTool::showAlert(const QString& message)
{
    EditorState& s = m_editor.state();
    s.cropAlertMessage = message;
    s.showingCropAlert = true;
    Q_EMIT m_editor.changed();
    m_editor.dialogs().inform(QStringLiteral("Zuschneiden"), message);
    s.showingCropAlert = false;
    Q_EMIT m_editor.changed();
}

} // namespace lumora
