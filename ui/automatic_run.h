// The automatic run: the session's target list compressed with the mode
// `AutoExe` and no window shown, the log on standard output.
#pragma once

#include <QStringList>

namespace dravonel {

class CompressionRun;
class RunStatus;
class Session;
struct OptionSet;

// Runs the session's list into its output folder. An output folder that was
// not opened as given, or cannot be written into, stops the run with a line on
// standard error. Every log line goes to standard output, the progress to the
// terminal line of `status`, every file that is in no archive is named on
// standard error (the files named that did not go on the list, `left`, among
// them), and with `AutoLog` the log is copied to the clipboard. True when
// every file was archived.
bool runAutomatically(Session& session, CompressionRun& run, const OptionSet& options,
                      RunStatus& status, const QStringList& left);

} // namespace dravonel
