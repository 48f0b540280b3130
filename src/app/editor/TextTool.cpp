#include "app/editor/TextTool.h"

#include "app/editor/EditorController.h"
#include "model/ImageProcessor.h"

#include <algorithm>

namespace lumora {

QString TextTool::hint() const
{
    if (m_editor.state().selectedTextID)
        return QStringLiteral("Klick auf Text zum Bearbeiten · Ziehen zum Verschieben · ⌫ zum Löschen");
    return QStringLiteral("Klick auf das Bild um Text einzufügen");
}

void TextTool::writeMarks(const QList<TextMark>& marks)
{
    m_editor.processor().setTextMarks(m_editor.photoId(), marks);
}

template <typename Change>
void TextTool::changeMark(const QUuid& id, Change change)
{
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return;
    QList<TextMark> marks = photo->edits.textMarks;
    for (TextMark& mark : marks) {
        if (mark.id == id) {
            change(mark);
            writeMarks(marks);
            return;
        }
    }
}

bool TextTool::emptyClick(QPointF q)
{
    EditorState& s = m_editor.state();
    if (s.editingTextID) {
        commit();
        Q_EMIT m_editor.changed();
        return false;
    }
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return false;
    TextMark mark;
    mark.position = q;
    mark.fontSize = s.textFontSize;
    mark.colorHex = s.textColorHex;
    mark.hasBackground = s.textHasBackground;
    QList<TextMark> marks = photo->edits.textMarks;
    marks.append(mark);
    s.selectedTextID = mark.id;
    s.editingTextID = mark.id;
    s.editingTextValue.clear();
    writeMarks(marks);
    Q_EMIT m_editor.changed();
    return true;
}

void TextTool::requestEdit(const QUuid& id)
{
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return;
    EditorState& s = m_editor.state();
    for (const TextMark& mark : photo->edits.textMarks) {
        if (mark.id != id)
            continue;
        s.editingTextID = id;
        s.editingTextValue = mark.text;
        s.textFontSize = mark.fontSize;
        s.textColorHex = mark.colorHex;
        s.textHasBackground = mark.hasBackground;
        Q_EMIT m_editor.changed();
        return;
    }
}

void TextTool::select(const std::optional<QUuid>& id)
{
    m_editor.state().selectedTextID = id;
    Q_EMIT m_editor.changed();
}

void TextTool::moveMark(const QUuid& id, QPointF position)
{
    changeMark(id, [&](TextMark& mark) { mark.position = position; });
}

void TextTool::commit()
{
    EditorState& s = m_editor.state();
    if (!s.editingTextID)
        return;
    const QUuid id = *s.editingTextID;
    const QString value = s.editingTextValue;
    s.editingTextID.reset();
    s.editingTextValue.clear();
    s.isTextFieldFocused = false;
    const PhotoItem* photo = m_editor.photo();
    if (!photo)
        return;
    QList<TextMark> marks = photo->edits.textMarks;
    // Only white space counts as empty; what was typed is kept as typed, spaces included.
    if (value.trimmed().isEmpty()) {
        marks.removeIf([&](const TextMark& mark) { return mark.id == id; });
        s.selectedTextID.reset();
    } else {
        for (TextMark& mark : marks) {
            if (mark.id == id)
                mark.text = value;
        }
    }
    writeMarks(marks);
}

void TextTool::setFontSize(double size)
{
    EditorState& s = m_editor.state();
    s.textFontSize = std::clamp(size, kMinimumFontSize, kMaximumFontSize);
    if (s.selectedTextID)
        changeMark(*s.selectedTextID, [&](TextMark& mark) { mark.fontSize = s.textFontSize; });
    Q_EMIT m_editor.changed();
}

void TextTool::setColorHex(const QString& hex)
{
    EditorState& s = m_editor.state();
    s.textColorHex = hex;
    if (s.selectedTextID)
        changeMark(*s.selectedTextID, [&](TextMark& mark) { mark.colorHex = hex; });
    Q_EMIT m_editor.changed();
}

void TextTool::setHasBackground(bool on)
{
    EditorState& s = m_editor.state();
    s.textHasBackground = on;
    if (s.selectedTextID)
        changeMark(*s.selectedTextID, [&](TextMark& mark) { mark.hasBackground = on; });
    Q_EMIT m_editor.changed();
}

} // namespace lumora
