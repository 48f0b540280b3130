#pragma once

#include "app/editor/EditorTool.h"
#include "pipeline/EditState.h"

#include <QUuid>

namespace lumora {

/// The `text` mode's editor side: new text marks on a click into empty space, editing one in
/// the text field, committing it (an empty text removes the mark), moving marks, and the panel
/// values that restyle the selected mark and become the defaults for new ones. The canvas drag
/// does nothing in this mode: the text layer handles the mouse and calls in here.
class TextTool : public EditorTool {
public:
    using EditorTool::EditorTool;

    [[nodiscard]] DrawingMode mode() const override { return DrawingMode::text; }
    void dragChanged(QPointF, QPointF) override {}
    void dragEnded() override {}
    /// The commit of the text being edited (Return, focus loss, mode change, closing).
    void commitPending() override { commit(); }
    [[nodiscard]] QString hint() const override;

    /// A click that hit no text, at image position `q`: commits the text being edited, or else
    /// adds an empty mark there and starts editing it. True when a mark was added (the text
    /// field is to take the focus once it exists).
    bool emptyClick(QPointF q);
    /// A double click on mark `id`: edit it, and load its looks into the panel.
    void requestEdit(const QUuid& id);
    /// The layer selected a mark (or cleared the selection).
    void select(const std::optional<QUuid>& id);
    /// The layer dropped mark `id` at `position` (image pixels).
    void moveMark(const QUuid& id, QPointF position);
    /// Stores the text being edited: its value, or the mark's removal when it is blank.
    void commit();

    // The panel: each restyles the selected mark and is the default for the next one.
    void setFontSize(double size);
    void setColorHex(const QString& hex);
    void setHasBackground(bool on);

    static constexpr double kMinimumFontSize = 6;
    static constexpr double kMaximumFontSize = 300;

private:
    /// The photo's marks with `change` applied to the one with `id`; writes them back.
    template <typename Change>
    void changeMark(const QUuid& id, Change change);
    void writeMarks(const QList<TextMark>& marks);
};

} // namespace lumora
