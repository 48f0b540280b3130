#pragma once

#include <QStringList>

class QTextStream;

namespace lumora {

/// `cutout IN OUT.png|OUT.jpg [--color "#RRGGBB" | --background PHOTO] [--mask MASK.png] [--runs N]`:
/// computes the foreground mask of IN, puts the subjects over the colour, the background photo
/// (fitted to fill and centre-cropped) or transparency, and writes OUT atomically (PNG keeps
/// the transparency; JPEG at quality 0.95 composites it over white). --mask also writes the
/// mask as a grey PNG. Prints the size and the time of each step; --runs N computes the mask N
/// times (the first run includes loading the model) and prints each time.
/// Exit codes: 0 written; 1 a photo could not be read, no subject was found, the model is
/// missing or damaged, or a file could not be written; 2 bad arguments.
int runCutout(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace lumora
