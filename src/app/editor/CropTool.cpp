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

std::optional<QRectF> normalizedCropRect(const QRectF& frame, const QRectF& fitted)
{
    const double fw = fitted.width(), fh = fitted.height();
    if (!(fw > 0) || !(fh > 0))
        return std::nullopt;
    // The frame is cut to the photo on all four sides. Cutting only the left and top origin and
    // keeping the frame's full width would move a frame that starts left of the photo to the
    // right by what lay outside, and crop pixels the user did not frame.
    const double left = std::max(frame.left() - fitted.left(), 0.0), top = std::max(frame.top() - fitted.top(), 0.0);
    const double right = std::min(frame.right() - fitted.left(), fw);
    const double bottom = std::min(frame.bottom() - fitted.top(), fh);
    const double nw = (right - left) / fw, nh = (bottom - top) / fh;
    if (!(nw > CropTool::kMinimumFraction) || !(nh > CropTool::kMinimumFraction))
        return std::nullopt;
    return QRectF(left / fw, top / fh, nw, nh);
}

// --- the frame ---

ToolButton CropTool::button() const
{
    return {QStringLiteral("rectangle.dashed"), QStringLiteral("Zuschneiden"), 1};
}

QString CropTool::hint() const
{
    if (m_cropRect)
        return QStringLiteral("Rahmen ziehen oder 'Anwenden' klicken");
    return QStringLiteral("Ziehe einen Rahmen um den Bereich den du behalten möchtest");
}

void CropTool::buttonPressed()
{
    if (!m_isCropping)
        m_cropRect.reset();
    m_editor.setMode(DrawingMode::crop);
    changed();
}

bool CropTool::press(const PointerEvent& event)
{
    if (m_isCropping)
        return false;
    const CanvasMapping mapping = m_editor.mapping();
    if (m_cropRect && mapping.toCanvas(*m_cropRect).contains(mapping.toCanvas(event.position))) {
        m_cropAktiverDragModus = CropDragModus::verschieben;
        m_cropDragStartFrame = *m_cropRect;
    } else {
        m_cropAktiverDragModus = CropDragModus::neuAufziehen;
        m_cropRect = QRectF(event.position, event.position);
    }
    m_cropDragStart = event.position;
    return true;
}

bool CropTool::move(const PointerEvent& event)
{
    switch (m_cropAktiverDragModus) {
    case CropDragModus::keiner: return false;
    case CropDragModus::neuAufziehen: m_cropRect = QRectF(m_cropDragStart, event.position).normalized(); break;
    case CropDragModus::verschieben:
        m_cropRect = m_cropDragStartFrame.translated(event.position - m_cropDragStart);
        break;
    }
    return true;
}

bool CropTool::release(const PointerEvent& event)
{
    const bool moved = move(event);
    m_cropAktiverDragModus = CropDragModus::keiner;
    m_cropDragStartFrame = QRectF();
    return moved;
}

std::optional<QSize> CropTool::pixelLabel() const
{
    const PhotoItem* photo = m_editor.photo();
    if (!m_cropRect || !photo || !photo->preview)
        return std::nullopt;
    const CanvasMapping mapping = m_editor.mapping();
    const QSizeF fitted = mapping.fittedRect().size();
    if (!(fitted.width() > 0) || !(fitted.height() > 0))
        return std::nullopt;
    const QSizeF frame = mapping.toCanvas(*m_cropRect).size();
    const QSize pixels = photo->preview->pixelSize;
    return QSize(int(frame.width() / fitted.width() * pixels.width()),
                 int(frame.height() / fitted.height() * pixels.height()));
}

void CropTool::setCropMass(const QString& breite, const QString& hoehe)
{
    m_cropMassBreite = breite;
    m_cropMassHoehe = hoehe;
}

void CropTool::setFrameFromSize()
{
    const std::optional<int> width = positiveInteger(m_cropMassBreite);
    const std::optional<int> height = positiveInteger(m_cropMassHoehe);
    const PhotoItem* photo = m_editor.photo();
    const CanvasMapping mapping = m_editor.mapping();
    if (!width || !height || !photo || !photo->preview || !mapping.isValid())
        return;
    const QSize pixels = photo->preview->pixelSize;
    if (pixels.isEmpty())
        return;
    const double cw = std::min(*width, pixels.width()), ch = std::min(*height, pixels.height());
    const QRectF fitted = mapping.fittedRect();
    const QSizeF frame(cw / pixels.width() * fitted.width(), ch / pixels.height() * fitted.height());
    m_cropRect = mapping.toImage(QRectF(fitted.center() - QPointF(frame.width() / 2, frame.height() / 2), frame));
    changed();
}

void CropTool::removeFrame()
{
    m_cropRect.reset();
    changed();
}

// --- check, confirmation and the run ---

void CropTool::apply(bool alsBatch)
{
    if (m_isCropping || !m_cropRect)
        return;
    m_cropAlsBatch = alsBatch;
    m_isCropping = true;
    changed();
    check();
}

void CropTool::check()
{
    const CanvasMapping mapping = m_editor.mapping();
    const QRectF frame = mapping.toCanvas(*m_cropRect);
    if (!(frame.width() > kMinimumSide) || !(frame.height() > kMinimumSide)) {
        m_isCropping = false;
        showAlert(kTooSmall);
        return;
    }
    // Text marks are not baked first: the crop renders the photo with all its edits, marks
    // included, and a cancelled confirmation must leave the photo as it was.
    if (!mapping.isValid()) {
        m_isCropping = false;
        changed();
        return;
    }
    const std::optional<QRectF> normalized = normalizedCropRect(frame, mapping.fittedRect());
    if (!normalized) {
        m_isCropping = false;
        showAlert(kTooSmall);
        return;
    }
    confirm(*normalized);
}

void CropTool::confirm(const QRectF& normalized)
{
    const bool batch = m_cropAlsBatch;
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
    const std::optional<int> answer = m_editor.dialogs().ask(question);
    if (answer == 0 || answer == 1) {
        start(normalized, answer == 1);
        return;
    }
    // "Abbrechen", or the dialog was closed without a choice: the frame stays.
    m_isCropping = false;
    changed();
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

QList<QUuid> CropTool::cropIds() const
{
    const QList<QUuid>& selected = m_editor.selectedPhotoIDs();
    if (m_cropAlsBatch && selected.size() >= 2)
        return selected;
    return {m_editor.photoId()};
}

void CropTool::start(const QRectF& normalized, bool overwrite)
{
    const QList<QUuid> ids = cropIds();
    const int total = int(ids.size());
    m_progress = std::pair{0, total};
    changed();

    // The editor may be closed while the crop runs: then the summary goes to the main window.
    const QPointer<EditorController> editor(&m_editor);
    auto self = [editor]() -> CropTool* {
        return editor ? static_cast<CropTool*>(editor->tool(DrawingMode::crop)) : nullptr;
    };
    ProgressStreamPtr progress = ProgressStream::create();
    progress->subscribe(&m_editor,
                        [self, total](double fraction) {
                            if (CropTool* tool = self(); tool && tool->m_progress) {
                                tool->m_progress->first = int(std::lround(fraction * total));
                                tool->changed();
                            }
                        },
                        {});
    FolderBookmarkStore& folders =
        m_editor.folderAccess() ? *m_editor.folderAccess() : FolderBookmarkStore::shared(m_editor.dialogs());
    batchCrop(
        m_editor.processor(), QSet<QUuid>(ids.begin(), ids.end()), normalized, overwrite, folders,
        [self, overwrite, ids, dialogs = &m_editor.dialogs()](BatchCropResult result) {
            if (CropTool* tool = self())
                tool->finish(result, overwrite, ids);
            else
                dialogs->inform(QStringLiteral("Zuschneiden"), cropSummary(result, overwrite));
        },
        progress);
}

void CropTool::finish(const BatchCropResult& result, bool overwrite, const QList<QUuid>& ids)
{
    m_progress.reset();
    if (overwrite && ids.contains(m_editor.photoId()))
        m_editor.originalReplaced();
    m_cropRect.reset();
    m_isCropping = false;
    showAlert(cropSummary(result, overwrite));
}

void CropTool::showAlert(const QString& message)
{
    changed();
    m_editor.dialogs().inform(QStringLiteral("Zuschneiden"), message);
    changed();
}

} // namespace lumora
