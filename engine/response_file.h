// Choosing the entries of the next archive and writing them into the response
// file the archiver modules read: "<TmpDir>/DRAVONEL.RESPFILE", one line per
// file, `"full path"` + CR LF, in UTF-8.
#pragma once

#include <QList>
#include <QSet>
#include <QString>

namespace dravonel {

class TargetList;

// Statuses of the writing procedures.
enum RespStatus : qint16 { kRespWritten = 1, kRespNothingLeft = 0, kRespFailed = -1 };

inline const QString kResponseFileName = QStringLiteral("DRAVONEL.RESPFILE");

// The response file's path for a temporary folder.
QString responseFilePath(const QString& tmpDir);

class ResponseFileMaker {
public:
    explicit ResponseFileMaker(TargetList& list) : list_(list) {}

    // Dravo mode: the first marked entry and every later entry with the same
    // name without extension (compared upper-cased); `name` is the first
    // entry's name without extension, in its own letter case.
    qint16 MakeRespFile(QString& name, const QString& tmpDir);
    // Exp mode: the first marked entry that has an extension and every later
    // entry with the same extension; `name` is the extension without its dot.
    // Entries without extension are passed over and keep their marks.
    qint16 MakeRespFileExp(QString& name, const QString& tmpDir);
    // Normal mode: every entry, marked or not.
    qint16 MakeRespFileAll(const QString& tmpDir);
    // Clears the mark of every entry written by the last MakeRespFile(Exp).
    bool Clear_MakeRespFile();
    // The rows written into the current response file, in writing order.
    const QList<int>& RespItems() const { return respItems_; }

    // Leaves the entries of the last group marked but never offers them again
    // in this run (a group that could not be archived stays on the list
    // without being tried over and over).
    void passOverLastGroup();
    // Forgets the passed-over entries (at the start of a run).
    void resetPassedOver() { passedOver_.clear(); }

private:
    qint16 makeGroup(QString& name, const QString& tmpDir, bool byExtension);

    TargetList& list_;
    QList<int> respItems_;
    QSet<int> passedOver_;
};

// Writes `text` to the response file without following a symbolic link in its
// place (a link gives false), replacing an earlier file.
bool writeResponseFile(const QString& path, const QByteArray& text);

} // namespace dravonel
