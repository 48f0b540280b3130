#pragma once

#include <QString>
#include <Qt>
#include <functional>

class QKeyEvent;

namespace lumora {

class AdjustmentController;
class ImageProcessor;
class KeySequenceTracker;
class PhotoSelection;

/// One key press as the main window's key handler reads it: the key, the modifiers, and the
/// key's characters without modifiers, lower-cased ("" for keys without characters).
struct KeyInput {
    int key = 0;
    Qt::KeyboardModifiers modifiers;
    QString characters;

    [[nodiscard]] static KeyInput from(const QKeyEvent& event);
};

/// The main window's keys (`KeyPressHandler`): the arrow keys step exposure (Left/Right) and
/// brightness (Down/Up) whatever modifiers are held; Ctrl+A selects every photo and turns the
/// select-all toggle on; Shift+Ctrl with a letter of the hidden sequence feeds the tracker and
/// opens the hidden view when the sequence is complete.
class KeyHandler {
public:
    KeyHandler(ImageProcessor& processor, PhotoSelection& selection, AdjustmentController& adjustments,
               KeySequenceTracker& tracker, std::function<void()> showHiddenView);

    /// Returns whether the key meant something here (the event is then used up).
    bool keyDown(const KeyInput& input);

private:
    ImageProcessor& m_processor;
    PhotoSelection& m_selection;
    AdjustmentController& m_adjustments;
    KeySequenceTracker& m_tracker;
    std::function<void()> m_showHiddenView;
};

} // namespace lumora
