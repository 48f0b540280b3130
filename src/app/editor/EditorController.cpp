#include "app/editor/EditorController.h"

#include "model/ImageProcessor.h"
#include "platform/Dialogs.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

/// What the editor preview shows of an edit value: everything but text marks and the watermark.
EditState previewPart(const EditState& edits)
{
    EditState part;
    part.adjustment = edits.adjustment;
    part.rotation = edits.rotation;
    part.flippedH = edits.flippedH;
    part.flippedV = edits.flippedV;
    part.masks = edits.masks;
    part.freehandOverlays = edits.freehandOverlays;
    return part;
}

/// The tail of `now` that `shown` does not have, when `shown` is its beginning.
template <typename T>
QList<T> addedSince(const QList<T>& shown, const QList<T>& now)
{
    if (shown.size() > now.size() || !std::equal(shown.begin(), shown.end(), now.begin()))
        return {};
    return now.mid(shown.size());
}

} // namespace

EditorController::EditorController(ImageProcessor& processor, const QUuid& photoId, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_processor(processor), m_photoId(photoId), m_dialogs(dialogs), m_preview(this)
{
    if (const PhotoItem* found = photo())
        m_historyOriginal = found->originalCI;
    connect(&m_processor, &ImageProcessor::photosChanged, this, &EditorController::photosChanged);
    m_processor.prepareForEditing(m_photoId);
}

EditorController::~EditorController() = default;

QSize EditorController::sheetSize(QSize fensterGroesse)
{
    const int width = fensterGroesse.width() > 0 ? std::max(fensterGroesse.width() - 60, 700) : 1180;
    const int height = fensterGroesse.height() > 0 ? std::max(fensterGroesse.height() - 60, 450) : 600;
    return {width, height};
}

const PhotoItem* EditorController::photo() const
{
    return m_processor.photo(m_photoId);
}

EditorTool* EditorController::tool(DrawingMode mode) const
{
    for (const auto& t : m_tools) {
        if (t->mode() == mode)
            return t.get();
    }
    return nullptr;
}

// --- canvas ---

void EditorController::setCanvasSize(QSizeF size, double devicePixelRatio)
{
    const bool changed = size != m_canvasSize || devicePixelRatio != m_devicePixelRatio;
    m_canvasSize = size;
    m_devicePixelRatio = devicePixelRatio;
    // The preview is rendered for the canvas's pixels: a bigger canvas gets a sharper one.
    if (!m_shown || changed) {
        m_shown = true;
        renderPreview();
    }
    Q_EMIT this->changed();
}

CanvasMapping EditorController::mapping() const
{
    const PhotoItem* found = photo();
    if (!found)
        return {};
    return {QSizeF(found->originalCI.size()), found->edits.rotation, found->edits.flippedH, found->edits.flippedV,
            m_canvasSize};
}

// --- pointer ---

void EditorController::press(QPointF canvasPoint, int clicks)
{
    EditorTool* active = activeTool();
    if (!active || m_closing)
        return;
    m_pressed = true;
    if (active->press({mapping().toImageUnclamped(canvasPoint), clicks}))
        Q_EMIT changed();
}

void EditorController::move(QPointF canvasPoint)
{
    EditorTool* active = activeTool();
    if (!active || !m_pressed)
        return;
    if (active->move({mapping().toImageUnclamped(canvasPoint)}))
        Q_EMIT changed();
}

void EditorController::release(QPointF canvasPoint)
{
    EditorTool* active = activeTool();
    if (!active || !m_pressed)
        return;
    m_pressed = false;
    if (active->release({mapping().toImageUnclamped(canvasPoint)}))
        Q_EMIT changed();
}

// --- modes and the guard ---

void EditorController::setMode(DrawingMode mode)
{
    if (mode == m_drawingMode || m_asking || m_closing)
        return; // not a change: nothing commits
    if (guardUnappliedResult(mode))
        return;
    enterMode(mode);
}

void EditorController::enterMode(DrawingMode mode)
{
    if (mode == m_drawingMode)
        return;
    m_pressed = false;
    if (EditorTool* leaving = activeTool())
        leaving->deactivate();
    m_drawingMode = mode;
    if (EditorTool* entered = activeTool())
        entered->activate();
    Q_EMIT changed();
}

// True when the active tool holds a result that is neither applied nor discarded: the user is
// asked first, and `planned` (a mode, or none for a close) follows the answer.
bool EditorController::guardUnappliedResult(std::optional<DrawingMode> planned)
{
    EditorTool* active = activeTool();
    if (!active || !active->hasUnappliedResult() || active->isBusy() || m_geplanterModusWechsel)
        return false;
    m_geplanterModusWechsel = planned;
    m_wartenAufSchliessen = !planned.has_value();
    QuestionRequest question;
    question.title = QStringLiteral("Hintergrund noch nicht angewendet");
    question.message =
        QStringLiteral("Du hast den freigestellten Hintergrund noch nicht ins Bild eingebrannt. Was möchtest du tun?");
    question.buttons = {{QStringLiteral("Anwenden"), DialogButton::Role::normal},
                        {QStringLiteral("Verwerfen"), DialogButton::Role::destructive},
                        {QStringLiteral("Abbrechen"), DialogButton::Role::cancel}};
    question.escapeButton = 2;
    question.defaultButton = 0;
    m_asking = true;
    Q_EMIT changed();
    const std::optional<int> answer = m_dialogs.ask(question);
    m_asking = false;

    const std::optional<DrawingMode> switchTo = std::exchange(m_geplanterModusWechsel, std::nullopt);
    const bool closeAfter = std::exchange(m_wartenAufSchliessen, false);
    if (answer == 0) {
        active->applyResult();
        if (active->isBusy()) { // the switch or the close follows when the apply is over
            m_afterApply = AfterApply{switchTo, closeAfter};
            Q_EMIT changed();
            return true;
        }
    } else if (answer == 1) {
        active->discardResult();
    }
    if (active->hasUnappliedResult()) { // "Abbrechen", a dismissed question, or a failed apply
        if (closeAfter)
            m_closing = false;
        Q_EMIT changed();
        return true;
    }
    proceed(switchTo, closeAfter);
    Q_EMIT changed();
    return true;
}

void EditorController::proceed(std::optional<DrawingMode> switchTo, bool close)
{
    if (switchTo)
        enterMode(*switchTo);
    if (close)
        continueClose();
}

// --- undo and redo ---

bool EditorController::undoEnabled() const
{
    const EditorTool* active = activeTool();
    if (active && active->isBusy())
        return false;
    if (active && active->hasUnfinished())
        return true;
    return m_history.canUndo() || fallbackUndo().has_value();
}

bool EditorController::redoEnabled() const
{
    const EditorTool* active = activeTool();
    return m_history.canRedo() && !(active && (active->isBusy() || active->hasUnappliedResult()));
}

// Edits made before the editor opened are not in the history: the newest annotation of the
// photo is undone then, by the processor's rule (the text mark in text mode, else the last
// overlay, else the last mask).
std::optional<EditRecord> EditorController::fallbackUndo() const
{
    const PhotoItem* found = photo();
    if (!found)
        return std::nullopt;
    EditState without = found->edits;
    if (m_drawingMode == DrawingMode::text && !without.textMarks.isEmpty())
        without.textMarks.removeLast();
    else if (!without.freehandOverlays.isEmpty())
        without.freehandOverlays.removeLast();
    else if (!without.masks.isEmpty())
        without.masks.removeLast();
    else if (!without.textMarks.isEmpty())
        without.textMarks.removeLast();
    else
        return std::nullopt;
    return EditRecord{without, found->edits, {}};
}

void EditorController::undo()
{
    if (m_closing || m_asking)
        return;
    if (EditorTool* active = activeTool(); active && active->isBusy())
        return; // the work under way was made from the edits as they are
    if (EditorTool* active = activeTool(); active && active->dropUnfinished()) {
        Q_EMIT changed();
        return;
    }
    const PhotoItem* found = photo();
    if (!found)
        return;
    if (m_history.canUndo()) {
        const std::optional<EditRecord> record = m_history.undo();
        writeEdits(record->before);
    } else if (const std::optional<EditRecord> record = fallbackUndo()) {
        m_history.pushUndone(*record);
        writeEdits(record->before);
    }
    Q_EMIT changed();
}

void EditorController::redo()
{
    if (m_closing || m_asking)
        return;
    if (EditorTool* active = activeTool(); active && (active->isBusy() || active->hasUnappliedResult()))
        return; // the work under way was made from the edits as they are
    if (EditorTool* active = activeTool())
        active->dropUnfinished();
    if (const std::optional<EditRecord> record = m_history.redo())
        writeEdits(record->after);
    Q_EMIT changed();
}

// --- edits ---

EditState EditorController::edits() const
{
    const PhotoItem* found = photo();
    return found ? found->edits : EditState{};
}

bool EditorController::commit(const EditState& after, const QString& mergeTag)
{
    const PhotoItem* found = photo();
    if (!found || found->edits == after)
        return false;
    m_history.push({found->edits, after, mergeTag});
    writeEdits(after);
    return true;
}

void EditorController::writeEdits(const EditState& edits)
{
    m_processor.setEdits(m_photoId, edits);
}

void EditorController::originalReplaced()
{
    m_history.clear();
    if (const PhotoItem* found = photo())
        m_historyOriginal = found->originalCI;
    Q_EMIT changed();
}

// --- keys and closing ---

void EditorController::deleteKey()
{
    if (EditorTool* active = activeTool(); active && !m_closing && active->deleteKey())
        Q_EMIT changed();
}

bool EditorController::escapeKey()
{
    EditorTool* active = activeTool();
    if (active && active->escapeKey()) {
        Q_EMIT changed();
        return true;
    }
    return false;
}

bool EditorController::anyToolBusy() const
{
    return std::any_of(m_tools.begin(), m_tools.end(), [](const auto& t) { return t->isBusy(); });
}

void EditorController::close()
{
    if (m_closing || m_asking)
        return;
    m_closing = true;
    m_pressed = false;
    if (EditorTool* active = activeTool())
        active->deactivate();
    continueClose();
}

void EditorController::continueClose()
{
    if (!m_closing)
        return;
    if (anyToolBusy()) { // the sheet shows that it is finishing; toolFinished() goes on
        Q_EMIT changed();
        return;
    }
    if (guardUnappliedResult(std::nullopt))
        return; // the answer goes on (or calls the close off)
    const PhotoItem* found = photo();
    if (!found || found->edits.textMarks.isEmpty()) {
        Q_EMIT dismissRequested();
        return;
    }
    // The text marks are baked into the photo: a render at full size and a write to the cache,
    // on the work pool. The sheet shows that it is finishing meanwhile.
    m_closeBaking = true;
    Q_EMIT changed();
    m_processor.flattenEditsInBackground(m_photoId, found->edits.textMarks, this, [this](bool) {
        m_closeBaking = false;
        Q_EMIT dismissRequested();
    });
}

void EditorController::toolFinished()
{
    Q_EMIT changed();
    if (m_asking || anyToolBusy())
        return;
    if (m_afterApply) {
        const AfterApply plan = *std::exchange(m_afterApply, std::nullopt);
        if (const EditorTool* active = activeTool(); active && active->hasUnappliedResult()) {
            m_closing = false; // the apply failed: its reason shows in the mode, the close is called off
            Q_EMIT changed();
            return;
        }
        proceed(plan.switchTo, plan.close);
        return;
    }
    if (m_closing) {
        if (const EditorTool* active = activeTool(); active && active->hasUnappliedResult()) {
            m_closing = false; // the apply the close waited for failed: its reason shows
            Q_EMIT changed();
            return;
        }
        continueClose();
    }
}

// --- shown texts and images ---

QString EditorController::hint() const
{
    if (const EditorTool* active = activeTool())
        return active->hint();
    return {};
}

QImage EditorController::canvasImage() const
{
    if (m_editorPreview)
        return *m_editorPreview;
    if (const PhotoItem* found = photo(); found && found->preview)
        return found->preview->bitmap;
    return {};
}

std::optional<MagnifierRequest> EditorController::magnifierRequest() const
{
    const PhotoItem* found = photo();
    if (!found)
        return std::nullopt;
    MagnifierRequest request;
    if (m_editorPreview) {
        request.image = *m_editorPreview;
        request.pixelSize = mapping().orientedSize().toSize();
    } else if (found->preview) {
        request.image = found->preview->bitmap;
        request.pixelSize = found->preview->pixelSize;
    } else {
        return std::nullopt;
    }
    request.title = QFileInfo(found->url.fileName()).completeBaseName();
    request.id = m_photoId;
    return request;
}

PendingAnnotations EditorController::pendingAnnotations() const
{
    const PhotoItem* found = photo();
    if (!found || !m_previewShows || m_showingInstead || !(m_previewShows->original == found->originalCI))
        return {};
    const EditState& shown = m_previewShows->edits;
    const EditState& now = found->edits;
    if (shown.rotation != now.rotation || shown.flippedH != now.flippedH || shown.flippedV != now.flippedV)
        return {};
    return {addedSince(shown.masks, now.masks), addedSince(shown.freehandOverlays, now.freehandOverlays)};
}

void EditorController::showInstead(const QImage& image)
{
    if (image.isNull()) {
        m_showingInstead = false;
        m_previewAsked.reset();
        renderPreview();
        return;
    }
    m_showingInstead = true;
    m_editorPreview = image;
    m_previewShows.reset();
    Q_EMIT previewChanged();
}

// --- the preview ---

void EditorController::photosChanged(const PhotoChanges& changes)
{
    if (!changes.touches(m_photoId))
        return;
    if (const PhotoItem* found = photo(); found && !(found->originalCI == m_historyOriginal)) {
        // A new original (a bake, a crop, a background): the recorded edits belong to the old one.
        m_history.clear();
        m_historyOriginal = found->originalCI;
    }
    if (m_shown && !m_showingInstead)
        renderPreview();
    Q_EMIT changed();
}

void EditorController::renderPreview()
{
    const PhotoItem* found = photo();
    if (!found || !m_shown)
        return;
    const QRectF fitted = mapping().fittedRect();
    const int longSide = int(std::ceil(std::max(fitted.width(), fitted.height()) * m_devicePixelRatio));
    EditorPreviewJob job{found->originalCI, previewPart(found->edits), std::max(longSide, 1)};
    if (m_previewAsked && m_previewAsked->original == job.original && m_previewAsked->edits == job.edits
        && m_previewAsked->longSide == job.longSide)
        return; // that render is shown or on its way
    m_previewAsked = job;
    m_preview.request(job, [this, job](QImage image) {
        if (image.isNull() || m_showingInstead)
            return;
        m_editorPreview = std::move(image);
        m_previewShows = job;
        Q_EMIT previewChanged();
    });
}

} // namespace lumora
