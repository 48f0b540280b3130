#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <utility>

namespace lumora::test {

/// Answers the application's questions from a script and records what was asked.
/// Each kind of question takes the next queued answer; an empty queue cancels (folder and
/// file panels) or dismisses without a choice (questions).
class ScriptedDialogs : public Dialogs {
public:
    /// The next folder panel is confirmed with `folder`.
    void confirmFolder(const QString& folder) { m_folderAnswers.enqueue(folder); }
    /// The next folder panel is cancelled.
    void cancelFolder() { m_folderAnswers.enqueue(std::nullopt); }

    std::optional<QString> chooseFolder(const FolderPanelRequest& request) override
    {
        folderRequests.append(request);
        return m_folderAnswers.isEmpty() ? std::nullopt : m_folderAnswers.dequeue();
    }

    /// The next open panel returns `files` (empty: cancelled).
    void chooseFilesWith(const QStringList& files) { m_fileAnswers.enqueue(files); }
    /// The next question is answered with the button whose text is `button` (none: dismissed).
    void answer(const std::optional<QString>& button) { m_questionAnswers.enqueue(button); }

    QStringList chooseFiles(const OpenPanelRequest& request) override
    {
        fileRequests.append(request);
        return m_fileAnswers.isEmpty() ? QStringList() : m_fileAnswers.dequeue();
    }

    std::optional<int> ask(const QuestionRequest& request) override
    {
        questions.append(request);
        if (whileAsking)
            whileAsking(request);
        const std::optional<QString> text = m_questionAnswers.isEmpty() ? std::nullopt : m_questionAnswers.dequeue();
        if (!text)
            return std::nullopt;
        for (qsizetype i = 0; i < request.buttons.size(); ++i) {
            if (request.buttons[i].text == *text)
                return int(i);
        }
        if (*text == QLatin1String("Escape"))
            return request.escapeButton;
        return std::nullopt;
    }

    void inform(const QString& title, const QString& message) override { messages.append({title, message}); }

    /// The next colour chooser returns `colorHex` (none: cancelled).
    void pickColor(const std::optional<QString>& colorHex) { m_colorAnswers.enqueue(colorHex); }

    std::optional<QString> chooseColor(const ColorPanelRequest& request) override
    {
        colorRequests.append(request);
        return m_colorAnswers.isEmpty() ? std::nullopt : m_colorAnswers.dequeue();
    }

    /// The next save panel is confirmed with `path` (none: cancelled).
    void saveTo(const std::optional<QString>& path) { m_saveAnswers.enqueue(path); }

    std::optional<QString> chooseSaveFile(const SavePanelRequest& request) override
    {
        saveRequests.append(request);
        return m_saveAnswers.isEmpty() ? std::nullopt : m_saveAnswers.dequeue();
    }

    /// Runs while a question is open, before it is answered (to look at what the asker holds then).
    std::function<void(const QuestionRequest&)> whileAsking;

    QList<FolderPanelRequest> folderRequests;
    QList<OpenPanelRequest> fileRequests;
    QList<QuestionRequest> questions;
    QList<std::pair<QString, QString>> messages; ///< (title, message) of every inform()
    QList<ColorPanelRequest> colorRequests;
    QList<SavePanelRequest> saveRequests;

private:
    QQueue<std::optional<QString>> m_folderAnswers;
    QQueue<QStringList> m_fileAnswers;
    QQueue<std::optional<QString>> m_questionAnswers;
    QQueue<std::optional<QString>> m_colorAnswers;
    QQueue<std::optional<QString>> m_saveAnswers;
};

} // namespace lumora::test
