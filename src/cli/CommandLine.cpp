#include "cli/CommandLine.h"

#include <QTextStream>

#include <algorithm>

namespace lumora {

namespace {

QCommandLineOption helpOption()
{
    return QCommandLineOption({QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Diese Hilfe anzeigen."));
}

// "-h, --help" or "--edits <BEARBEITUNGEN.json>".
QString optionSignature(const QCommandLineOption& option)
{
    QStringList names;
    for (const QString& name : option.names())
        names.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    QString signature = names.join(QStringLiteral(", "));
    if (!option.valueName().isEmpty())
        signature += QStringLiteral(" <") + option.valueName() + QLatin1Char('>');
    return signature;
}

} // namespace

CommandLine::CommandLine(QString usage, QString summary, QList<QCommandLineOption> options)
    : m_usage(std::move(usage)), m_summary(std::move(summary)), m_options(std::move(options))
{
    m_options.append(helpOption());
    m_parser.addOptions(m_options);
}

CommandLine::Outcome CommandLine::parse(const QStringList& args, QTextStream& out, QTextStream& err)
{
    // QCommandLineParser expects the program's name first.
    const bool parsed = m_parser.parse(QStringList{QStringLiteral("lumora-cli")} + args);
    if (parsed && m_parser.isSet(QStringLiteral("help"))) {
        out << helpText();
        return Outcome::help;
    }
    if (parsed)
        return Outcome::run;
    const QStringList unknown = m_parser.unknownOptionNames();
    if (!unknown.isEmpty())
        err << "Fehler: unbekannte Option " << (unknown.first().size() == 1 ? "-" : "--") << unknown.first() << "\n";
    else
        err << "Fehler: einer Option fehlt ihr Wert.\n";
    err << usageLine();
    return Outcome::error;
}

QString CommandLine::usageLine() const
{
    return QStringLiteral("Aufruf: lumora-cli ") + m_usage + QLatin1Char('\n');
}

QString CommandLine::helpText() const
{
    QString text = usageLine() + QLatin1Char('\n') + m_summary + QStringLiteral("\n\nOptionen:\n");
    qsizetype width = 0;
    for (const QCommandLineOption& option : m_options)
        width = std::max(width, optionSignature(option).size());
    for (const QCommandLineOption& option : m_options)
        text += QStringLiteral("  ") + optionSignature(option).leftJustified(width + 2) + option.description()
                + QLatin1Char('\n');
    return text;
}

} // namespace lumora
