#include "app/editor/TextTool.h"

#include "app/editor/EditorController.h"
#include "model/PhotoItem.h"
#include "pipeline/Overlays.h"

#include <algorithm>
#include <cmath>

namespace lumora {

namespace {

/// The size on the canvas at which a new label reads like the toolbar's text.
constexpr double kReadablePoints = 13;

} // namespace

ToolButton TextTool::button() const
{
    return {QStringLiteral("textformat"), QStringLiteral("Text"), 0};
}

QString TextTool::hint() const
{
    if (m_selectedTextID)
        return QStringLiteral("Klick auf Text zum Bearbeiten · Ziehen zum Verschieben · ⌫ zum Löschen");
    return QStringLiteral("Klick auf das Bild um Text einzufügen");
}

// --- geometry ---

QRectF TextTool::boxAround(QPointF c, const QString& text, double fs)
{
    const TextMetrics measured = fs > 0 ? measureText(text, fs) : TextMetrics{};
    const double w = std::max(measured.width + 2 * 0.35 * fs, 24.0);
    const double h = std::max(measured.height + 2 * 0.2 * fs, fs);
    return {c.x() - w / 2, c.y() - h / 2, w, h};
}

QRectF TextTool::textBox(const TextMark& mark, const CanvasMapping& mapping)
{
    return boxAround(mapping.toCanvas(mark.position), mark.text, mark.fontSize * mapping.scale());
}

std::optional<QUuid> TextTool::hit(const QList<TextMark>& marks, const CanvasMapping& mapping, QPointF p, double grow)
{
    for (auto it = marks.crbegin(); it != marks.crend(); ++it) {
        if (textBox(*it, mapping).adjusted(-grow, -grow, grow, grow).contains(p))
            return it->id;
    }
    return std::nullopt;
}

// --- what is shown ---

const TextMark* TextTool::storedMark(const QUuid& id) const
{
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return nullptr;
    for (const TextMark& mark : photo->edits.textMarks) {
        if (mark.id == id)
            return &mark;
    }
    return nullptr;
}

QList<TextMark> TextTool::shownMarks() const
{
    const PhotoItem* photo = m_editor.photo();
    QList<TextMark> marks = photo ? photo->edits.textMarks : QList<TextMark>();
    if (m_draft)
        marks.append(*m_draft);
    for (TextMark& mark : marks) {
        if (mark.id == m_draggingID)
            mark.position = m_dragStartImagePos + m_dragOffset;
        if (mark.id == m_editingTextID)
            mark.text = m_editingTextValue;
    }
    return marks;
}

std::optional<TextMark> TextTool::editingMark() const
{
    if (!m_editingTextID)
        return std::nullopt;
    for (const TextMark& mark : shownMarks()) {
        if (mark.id == *m_editingTextID)
            return mark;
    }
    return std::nullopt;
}

// --- mode ---

void TextTool::buttonPressed()
{
    if (m_editor.drawingMode() != DrawingMode::text) {
        m_editor.setMode(DrawingMode::text);
        return;
    }
    endTyping();
    m_selectedTextID.reset();
    changed();
}

void TextTool::activate()
{
    m_selectedTextID.reset();
    m_editingTextID.reset();
    // A fixed default of 24 pixels would be a few points on the canvas of a camera photo.
    if (!m_fontSizeChosen && m_editor.mapping().isValid())
        m_textFontSize = std::clamp(std::round(kReadablePoints * m_editor.mapping().pixelsPerPoint()), kMinimumFontSize,
                                    kMaximumFontSize);
}

void TextTool::deactivate()
{
    endTyping();
    m_selectedTextID.reset();
    m_draggingID.reset();
}

// --- pointer ---

bool TextTool::press(const PointerEvent& event)
{
    const CanvasMapping mapping = m_editor.mapping();
    const QPointF p = mapping.toCanvas(event.position);
    const QList<TextMark> marks = shownMarks();
    if (event.clicks == 2) {
        if (const auto id = hit(marks, mapping, p, 0)) {
            m_draggingID.reset();
            m_selectedTextID = id;
            requestEdit(*id);
            return true;
        }
    }
    std::optional<QUuid> id = hit(marks, mapping, p, 0);
    if (!id)
        id = hit(marks, mapping, p, kTolerance);
    if (id) {
        if (m_editingTextID && m_editingTextID != id)
            endTyping(); // the field loses the focus to the press
        m_selectedTextID = id;
        m_draggingID = id;
        const auto grabbed = std::find_if(marks.begin(), marks.end(), [&](const TextMark& m) { return m.id == *id; });
        m_dragStartImagePos = grabbed->position;
        m_dragStartPointer = event.position;
        m_dragOffset = QPointF();
        return true;
    }
    m_selectedTextID.reset();
    if (m_editingTextID) {
        endTyping();
        return true;
    }
    startNewMark(mapping.toImage(p));
    return true;
}

bool TextTool::move(const PointerEvent& event)
{
    if (!m_draggingID)
        return false;
    m_dragOffset = event.position - m_dragStartPointer;
    return true;
}

bool TextTool::release(const PointerEvent& event)
{
    if (!m_draggingID)
        return false;
    move(event);
    const QUuid id = *std::exchange(m_draggingID, std::nullopt);
    const QPointF position = m_dragStartImagePos + std::exchange(m_dragOffset, QPointF());
    if (position == m_dragStartImagePos)
        return true; // a press without movement moves nothing
    if (m_draft && m_draft->id == id)
        m_draft->position = position;
    else
        changeStoredMark(id, {}, [&](TextMark& mark) { mark.position = position; });
    return true;
}

// --- typing ---

void TextTool::startNewMark(QPointF position)
{
    TextMark mark;
    mark.position = position;
    mark.fontSize = m_textFontSize;
    mark.colorHex = m_textColorHex;
    mark.hasBackground = m_textHasBackground;
    m_draft = mark;
    m_selectedTextID = mark.id;
    m_editingTextID = mark.id;
    m_editingTextValue.clear();
}

void TextTool::requestEdit(const QUuid& id)
{
    if (m_editingTextID == id)
        return;
    endTyping();
    const TextMark* mark = storedMark(id);
    if (!mark)
        return;
    m_editingTextID = id;
    m_editingTextValue = mark->text;
    m_textFontSize = mark->fontSize;
    m_fontSizeChosen = true;
    m_textColorHex = mark->colorHex;
    m_textHasBackground = mark->hasBackground;
}

void TextTool::setEditingTextValue(const QString& text)
{
    // Typing changes nothing the sheet shows but the field, which follows its own text: no
    // refresh of the whole sheet per keystroke.
    if (m_editingTextID)
        m_editingTextValue = text;
}

void TextTool::endTyping()
{
    if (!m_editingTextID)
        return;
    const QUuid id = *std::exchange(m_editingTextID, std::nullopt);
    const QString value = std::exchange(m_editingTextValue, {});
    const std::optional<TextMark> draft = std::exchange(m_draft, std::nullopt);
    // Only white space counts as empty; what was typed is kept as typed, spaces included.
    const bool blank = value.trimmed().isEmpty();
    if (blank)
        m_selectedTextID.reset();
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return;
    EditState edits = photo->edits;
    if (draft) {
        if (blank)
            return; // a new mark left empty was never stored
        TextMark mark = *draft;
        mark.text = value;
        edits.textMarks.append(mark);
    } else if (blank) {
        edits.textMarks.removeIf([&](const TextMark& mark) { return mark.id == id; });
    } else {
        for (TextMark& mark : edits.textMarks) {
            if (mark.id == id)
                mark.text = value;
        }
    }
    m_editor.commit(edits);
    changed();
}

bool TextTool::dropUnfinished()
{
    if (!m_editingTextID)
        return false;
    if (m_draft && m_selectedTextID == m_draft->id)
        m_selectedTextID.reset();
    m_draft.reset();
    m_editingTextID.reset();
    m_editingTextValue.clear();
    return true;
}

bool TextTool::escapeKey()
{
    if (!m_editingTextID)
        return false;
    endTyping();
    return true;
}

bool TextTool::deleteKey()
{
    if (!m_selectedTextID || m_editingTextID)
        return false;
    const QUuid id = *m_selectedTextID;
    if (!storedMark(id))
        return false;
    m_selectedTextID.reset();
    EditState edits = m_editor.edits();
    edits.textMarks.removeIf([&](const TextMark& mark) { return mark.id == id; });
    m_editor.commit(edits);
    return true;
}

// --- restyling ---

template <typename Change>
void TextTool::changeStoredMark(const QUuid& id, const QString& mergeTag, Change change)
{
    EditState edits = m_editor.edits();
    for (TextMark& mark : edits.textMarks) {
        if (mark.id == id) {
            change(mark);
            m_editor.commit(edits, mergeTag);
            return;
        }
    }
}

void TextTool::restyle(const std::function<void(TextMark&)>& change, const QString& what)
{
    if (m_selectedTextID) {
        if (m_draft && m_draft->id == *m_selectedTextID)
            change(*m_draft);
        else // the steps of one slider drag are one undo step
            changeStoredMark(*m_selectedTextID, what + m_selectedTextID->toString(), change);
    }
    changed();
}

void TextTool::setTextFontSize(double size)
{
    m_textFontSize = std::clamp(size, kMinimumFontSize, kMaximumFontSize);
    m_fontSizeChosen = true;
    restyle([size = m_textFontSize](TextMark& mark) { mark.fontSize = size; }, QStringLiteral("size"));
}

void TextTool::setTextColorHex(const QString& hex)
{
    m_textColorHex = hex;
    restyle([hex](TextMark& mark) { mark.colorHex = hex; }, QStringLiteral("colour"));
}

void TextTool::setTextHasBackground(bool on)
{
    m_textHasBackground = on;
    restyle([on](TextMark& mark) { mark.hasBackground = on; }, QStringLiteral("background"));
}

} // namespace lumora
