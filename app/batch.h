// The headless batch command line:
//   dravonel2 --batch MODE [options] FILE|JOB.DVF...
// It runs the same engine as the mode buttons without a display and without
// touching the stored settings, prints the result log on standard output and
// progress on standard error (when that is a terminal). With --notify (the file
// managers' actions) it also keeps the log in the state folder and ends with a
// desktop notification.
#pragma once

#include <QString>
#include <QStringList>

namespace dravonel {

struct BatchOptions {
    int mode = -1;       // 0 dravo, 1 normal, 2 exp, 3 filen
    QString outFolder;   // default: the job's output folder, else the current folder
    bool beside = false; // each file's archives go into its own folder
    QString name;        // archive name of the normal mode
    int method = 0;      // 0 normal, 1 stored, 2 double
    int pattern = 0;     // double compression: 0 .LZH.LZH, 1 .LZH.ZIP, 2 .ZIP.LZH, 3 .ZIP.ZIP
    int format = 0;      // 0 lzh, 1 zip
    int zipNames = 0;    // 0 cp932 (CP932 with the Unicode Path field where it holds them), 1 utf8
    bool upperCase = true;
    bool hidden = false; // also dot-files named on the command line
    bool update = false; // update an existing double-compressed archive
    QString tmpFolder;   // default: the private temporary folder
    int jobs = 0;        // archives made at once in filen (0: one per core)
    QStringList inputs;  // files and job files
    bool notify = false; // a desktop notification and a kept log at the end

    // Each archive decoded and compared with its files; archived and
    // verified files moved to the trash.
    bool verify = false;
    bool trashOriginals = false;

    bool help = false;
    bool version = false;
};

// Exit statuses of the batch run.
enum BatchStatus { kBatchAllDone = 0, kBatchIncomplete = 1, kBatchUsage = 2 };

// Parses the arguments after "--batch" ("--opt value" or "--opt=value"; after
// "--" every argument is a file). Returns false with a one-line `error`; the
// options read up to then (--notify among them) are set all the same.
bool parseBatchArguments(const QStringList& arguments, BatchOptions& options, QString& error);

// Runs the batch command line (the arguments after the program name, starting
// with "--batch"). Needs a QCoreApplication.
int runBatch(const QStringList& arguments);

// Writes the text of --help (`help`) or of --version to standard output.
void printHelpOrVersion(bool help);

} // namespace dravonel
