#pragma once

#include <QString>
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

/// Every question the application asks the user goes through this seam: the widget
/// implementation shows real dialogs, tests answer with a script. Called on the UI thread.
class Dialogs {
public:
    virtual ~Dialogs() = default;

    /// Shows a modal folder panel. Returns the chosen folder's absolute path, or none when the
    /// user cancelled.
    virtual std::optional<QString> chooseFolder(const FolderPanelRequest& request) = 0;
};

} // namespace lumora
