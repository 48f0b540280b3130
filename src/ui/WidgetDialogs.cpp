#include "ui/WidgetDialogs.h"

#include "ui/Theme.h"

#include "pipeline/ColorHex.h"

#include <QApplication>
#include <QColorDialog>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIdentityProxyModel>
#include <QLabel>
#include <QLibraryInfo>
#include <QLocale>
#include <QPushButton>
#include <QTranslator>
#include <QVBoxLayout>

namespace lumora {

namespace {

/// What the file panels show: sizes and dates in the default locale (QFileSystemModel formats
/// them with the system's), and, for a panel restricted to one folder, every other entry
/// disabled (greyed, not selectable). An identity proxy, so sorting stays the file model's own.
class PanelFilesProxy : public QIdentityProxyModel {
public:
    PanelFilesProxy(std::optional<QString> allowed, QObject* parent)
        : QIdentityProxyModel(parent), m_allowed(std::move(allowed))
    {
    }

    QVariant data(const QModelIndex& index, int role) const override
    {
        enum Column { size = 1, modified = 3 }; // QFileSystemModel's columns
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (role != Qt::DisplayRole || !files || (index.column() != size && index.column() != modified))
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        if (index.column() == modified)
            return QLocale().toString(files->lastModified(source), QLocale::ShortFormat);
        if (files->isDir(source))
            return QIdentityProxyModel::data(index, role); // folders show no size
        return QLocale().formattedDataSize(files->size(source));
    }

    Qt::ItemFlags flags(const QModelIndex& index) const override
    {
        const Qt::ItemFlags flags = QIdentityProxyModel::flags(index);
        const auto* files = qobject_cast<const QFileSystemModel*>(sourceModel());
        if (!m_allowed || !files || QDir::cleanPath(files->filePath(mapToSource(index))) == *m_allowed)
            return flags;
        return flags & ~(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    }

private:
    std::optional<QString> m_allowed;
};

/// A file dialog that confirms only one folder when asked to, with the request's message
/// under its list.
class FolderDialog : public QFileDialog {
public:
    using QFileDialog::QFileDialog;
    std::optional<QString> onlyAllowed;
    QLabel* note = nullptr;
    QString message;

    /// Adds the message line and, for a single allowed folder, disables every other entry.
    void prepare(const QString& text)
    {
        message = text;
        setProxyModel(
            new PanelFilesProxy(onlyAllowed ? std::optional(QDir::cleanPath(*onlyAllowed)) : std::nullopt, this));
        auto* grid = qobject_cast<QGridLayout*>(layout());
        if (!grid)
            return;
        note = new QLabel(message, this);
        note->setObjectName(QStringLiteral("folderPanelMessage"));
        note->setWordWrap(true);
        note->setVisible(!message.isEmpty());
        grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
    }

    void accept() override
    {
        if (onlyAllowed) {
            const QStringList chosen = selectedFiles();
            const QString path = chosen.isEmpty() ? directory().absolutePath() : chosen.first();
            if (QDir::cleanPath(QDir(path).absolutePath()) != QDir::cleanPath(*onlyAllowed)) {
                // Any other folder stays unconfirmable; say which one can be.
                if (note) {
                    const QString refusal = QStringLiteral("Nur der Ordner „%1“ kann freigegeben werden.")
                                                .arg(QDir::toNativeSeparators(*onlyAllowed));
                    note->setText(message.isEmpty() ? refusal : message + QLatin1Char('\n') + refusal);
                    note->setVisible(true);
                }
                return;
            }
        }
        QFileDialog::accept();
    }
};

/// The question sheet: bold title, message, buttons in the given order on one row.
class QuestionSheet : public QDialog {
public:
    QuestionSheet(const QuestionRequest& request, QWidget* parent) : QDialog(parent)
    {
        setWindowTitle(request.title);
        setWindowModality(Qt::WindowModal);
        setMinimumWidth(380);
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(22, 18, 22, 16);
        layout->setSpacing(10);
        auto* title = new QLabel(request.title);
        QFont bold = title->font();
        bold.setPixelSize(14);
        bold.setWeight(QFont::DemiBold);
        title->setFont(bold);
        layout->addWidget(title);
        if (!request.message.isEmpty()) {
            auto* message = new QLabel(request.message);
            message->setWordWrap(true);
            message->setMaximumWidth(460);
            layout->addWidget(message);
        }
        auto* row = new QHBoxLayout;
        row->addStretch(1);
        for (qsizetype i = 0; i < request.buttons.size(); ++i) {
            const DialogButton& spec = request.buttons[i];
            auto* button = new QPushButton(spec.text);
            if (spec.role == DialogButton::Role::destructive)
                button->setStyleSheet(QStringLiteral("QPushButton { color: rgb(255,95,87); }"));
            const bool isDefault =
                request.defaultButton ? *request.defaultButton == i : spec.role == DialogButton::Role::normal && i == 0;
            button->setDefault(isDefault);
            button->setAutoDefault(isDefault);
            connect(button, &QPushButton::clicked, this, [this, i] {
                m_choice = int(i);
                QDialog::accept();
            });
            row->addWidget(button);
        }
        layout->addLayout(row);
        m_escape = request.escapeButton;
    }

    [[nodiscard]] std::optional<int> choice() const { return m_choice; }

    void reject() override
    {
        // Escape (or closing the window) chooses the escape button, if there is one.
        m_choice = m_escape;
        QDialog::reject();
    }

private:
    std::optional<int> m_choice;
    std::optional<int> m_escape;
};

} // namespace

bool installGermanQtTexts()
{
    auto* translator = new QTranslator(QCoreApplication::instance()); // lives as long as the app
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    if (!translator->load(QStringLiteral("qtbase_de"), folder)) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

bool useGermanEverywhere()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    return installGermanQtTexts();
}

namespace {

/// After a dialog over `window` closes, the keyboard belongs to `window` again (an open editor
/// sheet keeps its shortcuts), not to whichever window the system picks.
void giveFocusBack(const QPointer<QWidget>& window)
{
    if (!window || !window->isVisible())
        return;
    window->activateWindow();
    if (!window->focusWidget())
        window->setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace

std::optional<QString> WidgetDialogs::chooseFolder(const FolderPanelRequest& request)
{
    FolderDialog dialog(m_window, request.title, request.startFolder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.onlyAllowed = request.onlyAllowedFolder;
    dialog.prepare(request.message);
    if (!request.confirmButton.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, request.confirmButton);
    else
        dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Auswählen"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return QDir(dialog.selectedFiles().first()).absolutePath();
}

QStringList WidgetDialogs::chooseFiles(const OpenPanelRequest& request)
{
    // Over an open sheet (the editor's background photo) rather than behind it.
    QWidget* parent = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : m_window.data();
    QFileDialog dialog(parent, request.title, request.startFolder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new PanelFilesProxy(std::nullopt, &dialog));
    dialog.setFileMode(request.multipleSelection ? QFileDialog::ExistingFiles : QFileDialog::ExistingFile);
    dialog.setNameFilters(request.nameFilters);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Öffnen"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.selectedFiles();
}

std::optional<int> WidgetDialogs::ask(const QuestionRequest& request)
{
    // Over the open sheet (the editor's questions) when there is one; the keys go back to it.
    const QPointer<QWidget> parent =
        QApplication::activeModalWidget() ? QApplication::activeModalWidget() : m_window.data();
    std::optional<int> choice;
    {
        QuestionSheet sheet(request, parent);
        sheet.exec();
        choice = sheet.choice();
    }
    giveFocusBack(parent);
    return choice;
}

void WidgetDialogs::inform(const QString& title, const QString& message)
{
    QuestionRequest request{title, message, {{QStringLiteral("OK"), DialogButton::Role::normal}}, 0, 0};
    const QPointer<QWidget> parent =
        QApplication::activeModalWidget() ? QApplication::activeModalWidget() : m_window.data();
    {
        QuestionSheet sheet(request, parent);
        sheet.exec();
    }
    giveFocusBack(parent);
}

std::optional<QString> WidgetDialogs::chooseColor(const ColorPanelRequest& request)
{
    QWidget* parent = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : m_window.data();
    const QColor start =
        colorFromHex(request.colorHex).value_or(colorFromHex(request.fallbackHex).value_or(QColor(Qt::white)));
    QColorDialog::ColorDialogOptions options;
    if (request.withAlpha)
        options |= QColorDialog::ShowAlphaChannel;
    const QColor chosen = QColorDialog::getColor(start, parent, request.title, options);
    if (!chosen.isValid())
        return std::nullopt;
    return hexFromColor(chosen);
}

std::optional<QString> WidgetDialogs::chooseSaveFile(const SavePanelRequest& request)
{
    QWidget* parent = QApplication::activeModalWidget() ? QApplication::activeModalWidget() : m_window.data();
    QFileDialog dialog(parent, request.title, request.startFolder);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setProxyModel(new PanelFilesProxy(std::nullopt, &dialog));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilters(request.nameFilters);
    dialog.setOption(QFileDialog::ReadOnly, !request.canCreateFolders);
    dialog.selectFile(request.proposedName);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setLabelText(QFileDialog::Accept, QStringLiteral("Sichern"));
    dialog.setLabelText(QFileDialog::Reject, QStringLiteral("Abbrechen"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace lumora
