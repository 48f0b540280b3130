#pragma once

#include <QStringList>

class QTextStream;

namespace lumora {

/// `render IN OUT [--edits EDITS.json] [--scale S]`. Exit codes: 0 written, 1 the photo could
/// not be read, rendered or written, 2 bad arguments or a malformed edits file.
int runRender(const QStringList& args, QTextStream& out, QTextStream& err);

/// `export --jpg|--png DIR [--edits EDITS.json] FILES...`: the numbered export of the files in
/// the order given. Progress on stderr. Exit codes: 0 done, 1 a file could not be read or
/// written (the German message names it), 2 bad arguments or a malformed edits file.
int runExport(const QStringList& args, QTextStream& out, QTextStream& err);

/// `bench [--json] FILES...`: decode, full-resolution render with a typical edit state, and
/// JPEG encode per photo and as medians. Exit code 0, or 2 for bad arguments.
int runBench(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace lumora
