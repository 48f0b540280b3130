#include "app/KeyHandler.h"

#include "app/AdjustmentController.h"
#include "app/KeySequenceTracker.h"
#include "app/PhotoSelection.h"
#include "model/ImageProcessor.h"

#include <QKeyEvent>

namespace lumora {

KeyInput KeyInput::from(const QKeyEvent& event)
{
    KeyInput input{event.key(), event.modifiers(), {}};
    // With Ctrl held the event's text is a control character; the key code names the letter.
    if (event.key() >= Qt::Key_A && event.key() <= Qt::Key_Z)
        input.characters = QString(QChar('a' + (event.key() - Qt::Key_A)));
    else if (event.key() >= Qt::Key_0 && event.key() <= Qt::Key_9)
        input.characters = QString(QChar('0' + (event.key() - Qt::Key_0)));
    else if (!event.text().isEmpty() && event.text().front().isPrint())
        input.characters = event.text().toLower();
    return input;
}

KeyHandler::KeyHandler(ImageProcessor& processor, PhotoSelection& selection, AdjustmentController& adjustments,
                       KeySequenceTracker& tracker, std::function<void()> showHiddenView)
    : m_processor(processor), m_selection(selection), m_adjustments(adjustments), m_tracker(tracker),
      m_showHiddenView(std::move(showHiddenView))
{
}

bool KeyHandler::keyDown(const KeyInput& input)
{
    bool used = true;
    switch (input.key) {
    case Qt::Key_Left: m_adjustments.stepExposure(-1); break;
    case Qt::Key_Right: m_adjustments.stepExposure(+1); break;
    case Qt::Key_Down: m_adjustments.stepBrightness(-1); break;
    case Qt::Key_Up: m_adjustments.stepBrightness(+1); break;
    default: used = false;
    }
    const bool command = input.modifiers.testFlag(Qt::ControlModifier);
    if (command && input.characters == QLatin1String("a")) {
        QList<QUuid> all;
        for (const PhotoItem& photo : m_processor.photos())
            all.append(photo.id);
        m_selection.selectAll(all);
        used = true;
    }
    if (command && input.modifiers.testFlag(Qt::ShiftModifier) && KeySequenceTracker::isSequenceKey(input.characters)) {
        used = true;
        if (m_tracker.press(input.characters) && m_showHiddenView)
            m_showHiddenView();
    }
    return used;
}

} // namespace lumora
