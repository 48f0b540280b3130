#include "app/editor/EditorController.h"

#include "model/ImageProcessor.h"
#include "platform/Dialogs.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

// Tools with something being edited commit in this order when the mode changes or the editor
// closes: the text, then the arrow, then the rectangle.
constexpr DrawingMode kCommitOrder[] = {DrawingMode::text,       DrawingMode::arrow,     DrawingMode::rectangle,
                                        DrawingMode::freehand,   DrawingMode::whiteFill, DrawingMode::crop,
                                        DrawingMode::freisteller};

QString fallbackHint(DrawingMode mode)
{
    switch (mode) {
    case DrawingMode::arrow: return QStringLiteral("Ziehe einen Pfeil auf das Bild");
    case DrawingMode::text: return QStringLiteral("Klick auf das Bild um Text einzufügen");
    case DrawingMode::crop: return QStringLiteral("Ziehe einen Rahmen um den Bereich den du behalten möchtest");
    default: return {};
    }
}

} // namespace

EditorController::EditorController(ImageProcessor& processor, const QUuid& photoId, Dialogs& dialogs, QObject* parent)
    : QObject(parent), m_processor(processor), m_photoId(photoId), m_dialogs(dialogs), m_preview(this)
{
    if (const PhotoItem* found = photo())
        m_triggers = {found->edits.masks.size(), found->edits.freehandOverlays.size(), found->edits.rotation};
    connect(&m_processor, &ImageProcessor::photosChanged, this, &EditorController::photosChanged);
    m_processor.prepareForEditing(m_photoId);
    addBuiltTools(*this);
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

void EditorController::addTool(std::unique_ptr<EditorTool> tool)
{
    const DrawingMode mode = tool->mode();
    m_tools[mode] = std::move(tool);
}

EditorTool* EditorController::tool(DrawingMode mode) const
{
    auto found = m_tools.find(mode);
    return found == m_tools.end() ? nullptr : found->second.get();
}

// --- canvas and mapping ---

void EditorController::setCanvasSize(QSizeF size, double devicePixelRatio)
{
    const bool changed = size != m_canvasSize || devicePixelRatio != m_devicePixelRatio;
    m_canvasSize = size;
    m_devicePixelRatio = devicePixelRatio;
    m_state.lastKnownViewSize = size;
    // The preview is rendered for the canvas's pixels: a bigger canvas gets a sharper one.
    if (!m_shown || changed) {
        m_shown = true;
        renderPreview();
    }
}

CanvasMapping EditorController::mapping() const
{
    const PhotoItem* found = photo();
    if (!found)
        return {};
    return {QSizeF(found->originalCI.size()), found->edits.rotation, found->edits.flippedH, found->edits.flippedV};
}

QPointF EditorController::toImage(QPointF p) const
{
    return mapping().toImage(p, m_canvasSize);
}

QPointF EditorController::toImageWithLastKnownSize(QPointF p) const
{
    return mapping().toImageWithLastKnownSize(p, m_state.lastKnownViewSize);
}

double EditorController::pixelsPerPoint() const
{
    return mapping().pixelsPerPoint(m_canvasSize);
}

double EditorController::pixelsPerPointWithLastKnownSize() const
{
    return mapping().pixelsPerPointWithLastKnownSize(m_state.lastKnownViewSize);
}

// --- gestures ---

void EditorController::dragChanged(QPointF start, QPointF current)
{
    if (EditorTool* active = tool(m_state.drawingMode))
        active->dragChanged(start, current);
    Q_EMIT changed();
}

void EditorController::dragEnded()
{
    if (EditorTool* active = tool(m_state.drawingMode))
        active->dragEnded();
    if (m_state.drawingMode != DrawingMode::crop)
        clearDragInProgress(m_state);
    Q_EMIT changed();
}

// --- modes and the background guard ---

void EditorController::setMode(DrawingMode mode)
{
    if (mode == m_state.drawingMode)
        return; // not a change: nothing commits
    const bool guarded = mode != DrawingMode::freisteller && m_state.freistellerMaske && !m_state.geplanterModusWechsel
                         && !m_state.isFreistellerAnwenden;
    if (guarded) {
        m_state.geplanterModusWechsel = mode;
        m_state.drawingMode = DrawingMode::freisteller;
        askAboutBackground();
        return;
    }
    m_state.drawingMode = mode;
    runModeChangeSteps(mode);
    Q_EMIT changed();
}

void EditorController::runModeChangeSteps(DrawingMode mode)
{
    if (mode != DrawingMode::text) {
        commitEditedText();
        m_state.selectedTextID.reset();
    }
    for (DrawingMode other : kCommitOrder) {
        if (other == mode || other == DrawingMode::text)
            continue;
        if (EditorTool* t = tool(other))
            t->commitPending();
    }
}

void EditorController::askAboutBackground()
{
    m_state.zeigeFreistellerWechselDialog = true;
    Q_EMIT changed();
    QuestionRequest question;
    question.title = QStringLiteral("Hintergrund noch nicht angewendet");
    question.message =
        QStringLiteral("Du hast den freigestellten Hintergrund noch nicht ins Bild eingebrannt. Was möchtest du tun?");
    question.buttons = {{QStringLiteral("Anwenden"), DialogButton::Role::normal},
                        {QStringLiteral("Verwerfen"), DialogButton::Role::destructive},
                        {QStringLiteral("Abbrechen"), DialogButton::Role::cancel}};
    question.escapeButton = 2;
    question.defaultButton = 0;
    const std::optional<int> answer = m_dialogs.ask(question);
    m_state.zeigeFreistellerWechselDialog = false;

    if (answer == 0 || answer == 1) {
        if (answer == 0) {
            m_state.isFreistellerAnwenden = true;
            if (m_background.apply)
                m_background.apply();
        } else {
            discardBackground();
        }
        const std::optional<DrawingMode> planned = m_state.geplanterModusWechsel;
        if (planned)
            setMode(*planned);
        m_state.geplanterModusWechsel.reset();
        // A running apply would be dropped with the sheet: the close waits for it.
        if (m_state.wartenAufSchliessen && !m_state.isFreistellerAnwenden)
            finishPendingClose();
    } else { // "Abbrechen", or the question was dismissed
        m_state.geplanterModusWechsel.reset();
        m_state.wartenAufSchliessen = false;
    }
    Q_EMIT changed();
}

void EditorController::finishPendingClose()
{
    if (!m_state.wartenAufSchliessen)
        return;
    m_state.wartenAufSchliessen = false;
    Q_EMIT dismissRequested();
}

void EditorController::discardBackground()
{
    if (m_background.discard) {
        m_background.discard();
        return;
    }
    m_state.freistellerMaske.reset();
    m_state.freistellerOriginalCI.reset();
    m_state.freistellerHintergrundBild.reset();
    m_state.freistellerFehler.reset();
}

// --- text marks (the shell's part: commit on leaving, undo, delete, closing) ---

void EditorController::commitEditedText()
{
    if (EditorTool* text = tool(DrawingMode::text))
        text->commitPending();
}

void EditorController::setTextMarks(QList<TextMark> marks)
{
    m_processor.setTextMarks(m_photoId, marks);
}

void EditorController::deleteKey()
{
    const PhotoItem* found = photo();
    if (!m_state.selectedTextID || !found)
        return;
    QList<TextMark> marks = found->edits.textMarks;
    const auto removed = std::remove_if(marks.begin(), marks.end(),
                                        [&](const TextMark& mark) { return mark.id == *m_state.selectedTextID; });
    if (removed == marks.end())
        return;
    marks.erase(removed, marks.end());
    m_state.selectedTextID.reset();
    m_state.editingTextID.reset();
    setTextMarks(marks);
    Q_EMIT changed();
}

// --- undo ---

bool EditorController::undoEnabled() const
{
    const PhotoItem* found = photo();
    return found
           && (!found->edits.masks.isEmpty() || !found->edits.freehandOverlays.isEmpty()
               || !found->edits.textMarks.isEmpty());
}

void EditorController::undo()
{
    const PhotoItem* found = photo();
    EditorTool* active = tool(m_state.drawingMode);
    if (m_state.drawingMode == DrawingMode::text && found && !found->edits.textMarks.isEmpty()) {
        QList<TextMark> marks = found->edits.textMarks;
        marks.removeLast();
        m_state.selectedTextID.reset();
        m_state.editingTextID.reset();
        setTextMarks(marks);
        Q_EMIT changed();
        return;
    }
    if (active && active->undoOwn()) {
        Q_EMIT changed();
        return;
    }
    m_processor.undoLastAnnotation(m_photoId);
    if (!m_state.freehandPaths.isEmpty()) {
        m_state.freehandPaths.removeLast();
        m_state.freehandPathLooks.removeLast();
    }
    if (active)
        active->afterUndo();
    Q_EMIT changed();
}

// --- closing ---

void EditorController::close()
{
    commitEditedText();
    for (DrawingMode mode : kCommitOrder) {
        if (mode == DrawingMode::text)
            continue;
        if (EditorTool* t = tool(mode))
            t->commitPending();
    }
    for (const auto& [mode, t] : m_tools)
        t->finishHandOvers();
    if (const PhotoItem* found = photo(); found && !found->edits.textMarks.isEmpty())
        m_processor.flattenEdits(m_photoId, found->edits.textMarks);
    if (!m_state.freistellerMaske) {
        Q_EMIT dismissRequested();
        return;
    }
    m_state.wartenAufSchliessen = true;
    askAboutBackground();
}

// --- shown texts and images ---

QString EditorController::hint() const
{
    if (const EditorTool* active = tool(m_state.drawingMode))
        return active->hint();
    return fallbackHint(m_state.drawingMode);
}

QImage EditorController::canvasImage() const
{
    if (m_state.editorPreview)
        return *m_state.editorPreview;
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
    if (m_state.editorPreview) {
        request.image = *m_state.editorPreview;
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

void EditorController::addPendingShape(PendingShape shape)
{
    m_pending.push_back(std::move(shape));
}

void EditorController::dropLastPendingShape()
{
    if (!m_pending.empty())
        m_pending.pop_back();
}

// --- the preview and its triggers ---

void EditorController::photosChanged(const PhotoChanges& changes)
{
    if (!changes.touches(m_photoId))
        return;
    if (const PhotoItem* found = photo()) {
        const Triggers now{found->edits.masks.size(), found->edits.freehandOverlays.size(), found->edits.rotation};
        if (now != m_triggers) {
            m_triggers = now;
            if (m_shown)
                renderPreview();
        }
    }
    Q_EMIT changed();
}

void EditorController::renderPreview()
{
    const PhotoItem* found = photo();
    if (!found)
        return;
    const QRectF fitted = mapping().fittedRect(m_canvasSize);
    const int longSide = int(std::ceil(std::max(fitted.width(), fitted.height()) * m_devicePixelRatio));
    const std::size_t shapesBefore = m_pending.size();
    m_preview.request({found->originalCI, found->edits, std::max(longSide, 1)}, [this, shapesBefore](QImage image) {
        if (image.isNull())
            return;
        m_state.editorPreview = std::move(image);
        // Shapes committed before this render are in it now.
        m_pending.erase(m_pending.begin(), m_pending.begin() + std::min(shapesBefore, m_pending.size()));
        Q_EMIT previewChanged();
    });
}

} // namespace lumora
