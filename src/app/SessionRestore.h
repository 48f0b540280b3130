#pragma once

#include "model/JournalFolder.h"

#include <QString>
#include <functional>

namespace lumora {

class Dialogs;
class ImageProcessor;
class PhotoSelection;
class SessionJournal;

/// What became of a journal found at the start.
enum class JournalOutcome {
    none,      ///< there was none, or it held nothing to restore
    restoring, ///< the photos are being restored (the journal goes on with them)
    discarded, ///< the user chose "Verwerfen": the files are gone
    kept,      ///< unusable or the question was closed: left as it is, not to be written over
};

/// The question after a session that did not end: "Die letzte Sitzung wurde nicht beendet. N
/// Fotos mit Änderungen wiederherstellen?" with "Wiederherstellen" (Return) and "Verwerfen".
[[nodiscard]] QString restoreQuestionText(int changedPhotos);

/// Offers the journal in `folder` (whose lock the caller holds) through `dialogs`. On
/// "Wiederherstellen" the photos come back through the processor in their order, with their
/// ids, edits and kept originals; `journal` (made for this folder, not yet writing its list) is
/// told which originals it finds there, and when the photos have arrived the selection is set
/// and one German message names every photo left out (gone, changed since, unreadable), after
/// which `restored` runs. A journal that cannot be read is named with its reason and left on
/// disk unless the user discards it. UI thread.
[[nodiscard]] JournalOutcome offerRestore(const JournalFolder& folder, Dialogs& dialogs, ImageProcessor& processor,
                                          PhotoSelection& selection, SessionJournal& journal,
                                          std::function<void()> restored = {});

} // namespace lumora
