// The reading command lines, without a display:
//   dravonel2 --list ARCHIVE...
//   dravonel2 --test ARCHIVE...
//   dravonel2 --extract [--out DIR] [--inner] ARCHIVE...
// LZH and ZIP archives, told apart by their bytes whatever their names. Exit
// statuses as --batch: 0 everything done, 1 some archive or member not (each
// one named on standard error), 2 bad arguments, a missing or unwritable
// output folder, or missing modules.
#pragma once

#include <QString>
#include <QStringList>

namespace dravonel {

// Whether `word` (the first argument) starts a reading command line.
bool isReadingCommand(const QString& word);

// Runs one (the arguments after the program name, starting with the command
// word). Needs a QCoreApplication.
int runReading(const QStringList& arguments);

} // namespace dravonel
