#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

class QTextStream;

namespace lumora {

/// The options of one lumora-cli command, parsed by QCommandLineParser, with help and error
/// texts in German. Every command knows -h/--help.
class CommandLine {
public:
    enum class Outcome {
        run,  ///< parsed; read the values from parser()
        help, ///< --help was given; the help text is written
        error ///< bad arguments; the message is written
    };

    /// `usage`: the call without "lumora-cli", e.g. "render EINGABE AUSGABE.jpg|.png [Optionen]";
    /// `summary`: what the command does, one or more lines.
    CommandLine(QString usage, QString summary, QList<QCommandLineOption> options);

    /// Parses `args` (the words after the command's name). Writes the help to `out` or the
    /// German error with the usage line to `err`.
    [[nodiscard]] Outcome parse(const QStringList& args, QTextStream& out, QTextStream& err);

    [[nodiscard]] const QCommandLineParser& parser() const { return m_parser; }

    /// "Aufruf: lumora-cli <usage>", the summary and the table of options.
    [[nodiscard]] QString helpText() const;

    /// "Aufruf: lumora-cli <usage>" and a newline.
    [[nodiscard]] QString usageLine() const;

private:
    QString m_usage;
    QString m_summary;
    QList<QCommandLineOption> m_options;
    QCommandLineParser m_parser;
};

/// Exit code of a run whose arguments were refused or that only showed its help.
[[nodiscard]] inline int exitCodeOf(CommandLine::Outcome outcome)
{
    return outcome == CommandLine::Outcome::help ? 0 : 2;
}

} // namespace lumora
