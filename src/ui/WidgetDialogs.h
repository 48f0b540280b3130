#pragma once

#include "platform/Dialogs.h"

#include <QPointer>
#include <QWidget>

namespace lumora {

/// Loads Qt's own German texts (file panels, the colour dialog, the context menu of text
/// fields) into the application, so no English appears around our German ones. Call once,
/// after the QApplication exists. False when the translations are not installed.
bool installGermanQtTexts();

/// German everywhere, whatever the system's language: German is made the default locale (the
/// numbers, dates and sizes of widgets and of our own text) and Qt's German texts are loaded
/// (installGermanQtTexts). Qt's file panels format sizes and dates with the system's locale
/// instead; the panels of WidgetDialogs show them with the default one. Call once, after the
/// QApplication exists. False when Qt's translations are not installed.
bool useGermanEverywhere();

/// The real dialogs: window-modal over the main window, Qt's own file dialogs (the same in
/// every desktop and under Xvfb), and one question sheet that keeps the buttons in the order
/// asked, the destructive one in red. Each call returns when the user has answered.
class WidgetDialogs : public Dialogs {
public:
    explicit WidgetDialogs(QWidget* window = nullptr) : m_window(window) {}
    void setWindow(QWidget* window) { m_window = window; }

    std::optional<QString> chooseFolder(const FolderPanelRequest& request) override;
    QStringList chooseFiles(const OpenPanelRequest& request) override;
    std::optional<int> ask(const QuestionRequest& request) override;
    void inform(const QString& title, const QString& message) override;
    /// Qt's colour dialog over the window that is modal now (an open sheet), else the window.
    std::optional<QString> chooseColor(const ColorPanelRequest& request) override;
    /// Qt's save panel over the window that is modal now (an open sheet), else the window.
    std::optional<QString> chooseSaveFile(const SavePanelRequest& request) override;

private:
    QPointer<QWidget> m_window;
};

} // namespace lumora
