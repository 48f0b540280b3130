#pragma once

#include "app/editor/EditorTool.h"
#include "pipeline/EditState.h"

#include <QList>
#include <QRectF>
#include <QUuid>
#include <functional>
#include <optional>

namespace lumora {

struct CanvasMapping;

/// The `text` mode: text marks placed with a click, typed in a field over the photo, selected,
/// dragged, restyled and deleted. A new mark is kept here while it is typed and reaches the
/// photo when the typing ends with some text; every change of a stored mark is a committed
/// edit. Marks are drawn live over the canvas (the editor preview leaves them out).
///
/// Pointer events in text mode: a double click on a mark edits it; a press on a mark (or within
/// kTolerance of it) selects it and starts dragging it; a press on empty space ends the typing
/// if a mark is being typed, else starts a new mark there.
class TextTool : public EditorTool {
public:
    static constexpr double kMinimumFontSize = 6;
    static constexpr double kMaximumFontSize = 300;
    /// How far around a mark's box a press still grabs it (canvas points).
    static constexpr double kTolerance = 25;

    using EditorTool::EditorTool;

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::text; }
    [[nodiscard]] ToolButton button() const override;
    [[nodiscard]] QString hint() const override;
    /// The "Text" button while the mode is on: ends the typing (keeping what was typed) and
    /// clears the selection.
    void buttonPressed() override;
    void activate() override;
    /// Leaving the mode ends the typing and clears the selection.
    void deactivate() override;
    bool press(const PointerEvent& event) override;
    bool move(const PointerEvent& event) override;
    bool release(const PointerEvent& event) override;
    /// Drops the mark being typed (a new one disappears; an existing one keeps its text).
    bool dropUnfinished() override;
    [[nodiscard]] bool hasUnfinished() const override { return m_editingTextID.has_value(); }
    /// Deletes the selected mark.
    bool deleteKey() override;
    /// Ends the typing; the mark stays, selected, and can be edited again.
    bool escapeKey() override;

    // --- the state the layer and the field show ---
    [[nodiscard]] const std::optional<QUuid>& selectedTextID() const { return m_selectedTextID; }
    [[nodiscard]] const std::optional<QUuid>& editingTextID() const { return m_editingTextID; }
    [[nodiscard]] const QString& editingTextValue() const { return m_editingTextValue; }
    [[nodiscard]] double textFontSize() const { return m_textFontSize; }
    [[nodiscard]] const QString& textColorHex() const { return m_textColorHex; }
    [[nodiscard]] bool textHasBackground() const { return m_textHasBackground; }
    /// The marks as shown: the photo's, the one being typed, and the dragged one where it is
    /// dragged to (image pixels).
    [[nodiscard]] QList<TextMark> shownMarks() const;
    /// The mark being typed (as shown), if any.
    [[nodiscard]] std::optional<TextMark> editingMark() const;

    // --- the field and the panel ---
    /// The field's text changed while typing (the field shows it; nothing else changes).
    void setEditingTextValue(const QString& text);
    /// Return or the field losing the focus: stores the text being typed, or removes the mark
    /// when it is blank.
    void endTyping();
    // Each restyles the selected mark and is the default for the next one. Until a size is
    // chosen, new marks get the size that reads like the toolbar's text on the canvas.
    void setTextFontSize(double size);
    void setTextColorHex(const QString& hex);
    void setTextHasBackground(bool on);

    // --- geometry on the canvas (view points) ---
    /// The box of `text` at view font size `fs` centred on view point `c`: the text as the
    /// render chain measures it with margins 0.35·fs and 0.2·fs, at least 24 wide and fs high.
    [[nodiscard]] static QRectF boxAround(QPointF c, const QString& text, double fs);
    /// The mark's box on the canvas.
    [[nodiscard]] static QRectF textBox(const TextMark& mark, const CanvasMapping& mapping);
    /// The topmost mark (last first) whose box, grown by `grow` on every side, contains `p`.
    [[nodiscard]] static std::optional<QUuid> hit(const QList<TextMark>& marks, const CanvasMapping& mapping, QPointF p,
                                                  double grow);

private:
    void startNewMark(QPointF position);
    void requestEdit(const QUuid& id);
    /// Commits the photo's marks with `change` applied to mark `id` (tagged for merging).
    template <typename Change>
    void changeStoredMark(const QUuid& id, const QString& mergeTag, Change change);
    [[nodiscard]] const TextMark* storedMark(const QUuid& id) const;
    void restyle(const std::function<void(TextMark&)>& change, const QString& what);

    std::optional<QUuid> m_selectedTextID;
    std::optional<QUuid> m_editingTextID;
    QString m_editingTextValue;
    double m_textFontSize = 24;
    QString m_textColorHex = QStringLiteral("#FFFFFF");
    bool m_textHasBackground = true;
    bool m_fontSizeChosen = false; ///< until then the size follows the photo's (activate())
    /// A new mark while it is typed; it is not in the photo yet.
    std::optional<TextMark> m_draft;

    std::optional<QUuid> m_draggingID;
    QPointF m_dragStartImagePos;
    QPointF m_dragStartPointer;
    QPointF m_dragOffset; ///< image pixels
};

} // namespace lumora
