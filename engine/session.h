// One job's state, with or without windows: the target list, the output list,
// the result log, the input and output folders, the archive name and the job
// file's name. The windows show it through its models and signals; the
// automatic run and the batch run use it alone.
#pragma once

#include "job_file.h"
#include "result_log.h"
#include "target_list.h"

#include <QObject>
#include <QString>

#include <array>

namespace dravonel {

class MessageHost;
class SettingsStore;

class Session : public QObject, public JobTarget {
    Q_OBJECT
public:
    enum class Folder { In, Out };

    // What the default-folders dialog edits for a folder: the folder opened at
    // start ("Dir_In"/"Dir_Out") and whether it is ("Dir_In_Yuko"/"Dir_Out_Yuko").
    struct FolderDefault {
        QString folder;
        bool inForce = true;
    };

    // `host` shows the target list's limit message.
    explicit Session(MessageHost* host = nullptr, QObject* parent = nullptr);

    TargetList& targets() override { return targets_; }
    OutputList& outputs() { return outputs_; }
    ResultLog& log() { return log_; }

    // The long form of the open folder ("" when it has none).
    QString folder(Folder which) const;
    // Opens a folder; one that cannot be listed gives the process's current
    // folder, without a message. Signals folderSet, also for the folder
    // already open (its views list it again).
    void setFolder(Folder which, const QString& folder);
    // The folder last given to setFolder, as given, and whether it is the one
    // open (false: it could not be listed, the current folder is open instead).
    QString givenFolder(Folder which) const { return folders_[index(which)].given; }
    bool openedGivenFolder(Folder which) const { return folders_[index(which)].opened; }
    // A view of the folder moved to `path` (a folder it listed): the session
    // takes it as the open folder and signals folderListed.
    void noteFolderListed(Folder which, const QString& path);

    FolderDefault& folderDefault(Folder which) { return folders_[index(which)].byDefault; }
    // Reads the folder's stored default and flag, and opens the default when
    // it is in force, else the folder open at the last exit ("OldDir_In"/"OldDir_Out").
    void loadFolder(Folder which, SettingsStore& store);
    // Writes the folder's default, flag and open folder.
    void saveFolder(Folder which, SettingsStore& store) const;

    QString inputFolder() override { return folder(Folder::In); }
    void setInputFolder(const QString& f) override { setFolder(Folder::In, f); }
    QString outputFolder() override { return folder(Folder::Out); }
    void setOutputFolder(const QString& f) override { setFolder(Folder::Out, f); }

    // The archive name of the normal mode; empty at start.
    QString archiveName() override { return archiveName_; }
    void setArchiveName(const QString& name) override { archiveName_ = name; }
    // The job file last opened or saved; empty at start.
    const QString& jobName() const { return jobName_; }
    void setJobName(const QString& name) { jobName_ = name; }

    // A view changed the target list at the user's request (its buttons, a
    // drop): signals targetsEdited.
    void noteTargetsEdited() { emit targetsEdited(); }

signals:
    void folderSet(Session::Folder which);
    void folderListed(Session::Folder which, const QString& path);
    void targetsEdited();

private:
    struct FolderState {
        QString path; // the open folder, as listed (absolute, cleaned)
        QString given;
        bool opened = true;
        FolderDefault byDefault;
    };
    static size_t index(Folder which) { return which == Folder::In ? 0 : 1; }

    TargetList targets_;
    OutputList outputs_;
    ResultLog log_;
    std::array<FolderState, 2> folders_;
    QString archiveName_;
    QString jobName_;
};

} // namespace dravonel
