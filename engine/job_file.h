// Job files (.DVF): the input folder, the output folder, the archive name and
// the target list, as UTF-8 text lines ended by CR LF:
//
//   Dravonel2 DVF FILE
//   INDIR=<input folder>
//   OUTDIR=<output folder>
//   FILENAME=<archive name>
//   <one target entry per line>
//
// Reading also takes "LZHFILENAME=" for line 4, the older layout without the
// header (three bare values, then the entries), any of CR LF, LF or CR as line
// end, and a UTF-8 byte-order mark.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace dravonel {

class MessageHost;
class TargetList;

inline const QString kJobHeader = QStringLiteral("Dravonel2 DVF FILE");

// What a job is read into and written from: the folders belong to the folder
// panes and the archive name to the main window, so they are set through here.
class JobTarget {
public:
    virtual ~JobTarget() = default;
    virtual QString inputFolder() = 0;
    virtual void setInputFolder(const QString& folder) = 0;
    virtual QString outputFolder() = 0;
    virtual void setOutputFolder(const QString& folder) = 0;
    virtual QString archiveName() = 0;
    virtual void setArchiveName(const QString& name) = 0;
    virtual TargetList& targets() = 0;
};

// A job held as plain values around a target list (the batch run, tests).
class JobValues : public JobTarget {
public:
    explicit JobValues(TargetList& list) : list_(list) {}
    QString in, out, name;
    QString inputFolder() override { return in; }
    void setInputFolder(const QString& folder) override { in = folder; }
    QString outputFolder() override { return out; }
    void setOutputFolder(const QString& folder) override { out = folder; }
    QString archiveName() override { return name; }
    void setArchiveName(const QString& n) override { name = n; }
    TargetList& targets() override { return list_; }

private:
    TargetList& list_;
};

// Writes the job to `path`, asking before an existing file is replaced; a
// failure shows "セーブできませんでした。", as does a folder or archive name
// with a line break, which the file cannot hold. The file is replaced only once
// the new text is complete. Returns true when the file was written.
bool WriteJobFile(const QString& path, JobTarget& job, MessageHost& host);

// What a job file says, read without acting on it. Values are taken in file
// order and each only after the one before it: a file broken at its third
// line gives the input folder alone. The entries are the lines after the
// archive name.
struct ParsedJob {
    std::optional<QString> inputFolder, outputFolder, archiveName;
    QStringList entries;
};
ParsedJob parseJobFile(QByteArray data);

// Puts a parsed job into `job`: the values it has, in their order, then (when
// the archive name was read) the entries through the target list's
// Gaibu_ListInAdd, stopping at the first it refuses; `refused`, when given,
// receives the entries that did not go on the list (blank lines, which name no
// file, aside). False when the job lacks any of the three values.
bool applyJob(const ParsedJob& parsed, JobTarget& job, QStringList* refused = nullptr);

// Reads the job in `path`: a regular file of at most 64 MiB (a larger one is no
// job and is not read). Each value takes effect as soon as it is read, so a
// file broken at line 3 has already changed the input folder. The entries go
// through the target list's Gaibu_ListInAdd, stopping at the first it refuses.
// A failure shows "ファイルの読み込みに失敗しました。". Returns true when the
// folders and the archive name were read. `refused`, when given, receives the
// entries that did not go on the list (not readable, left out, over the limit).
bool LoadDvf(const QString& path, JobTarget& job, MessageHost& host,
             QStringList* refused = nullptr);

} // namespace dravonel
