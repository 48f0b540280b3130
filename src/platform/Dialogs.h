#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace lumora {

/// A folder chooser as the file operations ask for it.
struct FolderPanelRequest {
    QString title;
    QString confirmButton;
    QString message;
    QString startFolder;
    /// When set, only this folder (standardised absolute path) can be confirmed; everything
    /// else in the panel is shown disabled.
    std::optional<QString> onlyAllowedFolder;
    bool canCreateFolders = false;
};

/// A file chooser for opening photos (or a background photo).
struct OpenPanelRequest {
    QString title;
    QString startFolder;
    QStringList nameFilters; ///< e.g. "Bilder (*.jpg *.jpeg *.png *.heic)"
    bool multipleSelection = true;
};

/// A file chooser for saving one file.
struct SavePanelRequest {
    QString title;
    QString startFolder;
    QString proposedName;    ///< the file name offered in the name field
    QStringList nameFilters; ///< e.g. "PNG-Bild (*.png)"
    bool canCreateFolders = false;
};

/// One button of a question; `role` tells the dialog how to present it.
struct DialogButton {
    enum class Role { normal, cancel, destructive };
    QString text;
    Role role = Role::normal;
};

/// A modal question with buttons in the given order. Escape chooses `escapeButton`
/// (none: Escape does nothing but close without a choice).
struct QuestionRequest {
    QString title;
    QString message;
    QList<DialogButton> buttons;
    std::optional<int> escapeButton;
    std::optional<int> defaultButton;
};

/// A colour chooser for a colour string field ("#RRGGBB" or "#RRGGBBAA").
struct ColorPanelRequest {
    QString title;
    QString colorHex;       ///< the field's current value; the chooser starts there
    QString fallbackHex;    ///< what the chooser starts with when `colorHex` does not parse
    bool withAlpha = false; ///< the chooser offers opacity
};

/// Every question the application asks the user goes through this seam: the widget
/// implementation shows real window-modal dialogs, tests answer with a script. All calls are
/// made on the UI thread and return when the user has answered.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    /// Shows a modal folder panel. Returns the chosen folder's absolute path, or none when the
    /// user cancelled.
    virtual std::optional<QString> chooseFolder(const FolderPanelRequest& request) = 0;

    /// Shows a modal open panel. Returns the chosen files' absolute paths; empty when cancelled.
    virtual QStringList chooseFiles(const OpenPanelRequest& request) = 0;

    /// Asks a question. Returns the index of the chosen button, or none when dismissed without one.
    virtual std::optional<int> ask(const QuestionRequest& request) = 0;

    /// Shows a message with a single "OK" button.
    virtual void inform(const QString& title, const QString& message) = 0;

    /// Shows a modal colour chooser. Returns the chosen colour as a colour string (six digits
    /// when opaque, eight with alpha), or none when the user cancelled.
    virtual std::optional<QString> chooseColor(const ColorPanelRequest& request) = 0;

    /// Shows a modal save panel. Returns the chosen file's absolute path, or none when the user
    /// cancelled. Answerers that never save (benchmarks, screenshot tools) keep this default,
    /// which cancels.
    virtual std::optional<QString> chooseSaveFile(const SavePanelRequest& request)
    {
        (void)request;
        return std::nullopt;
    }
};

} // namespace lumora
