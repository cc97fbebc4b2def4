// The output-file pane: the session's output list, the archives the runs made. The selected
// archives can be dragged out as file URLs (copy only).
#pragma once

#include "pane.h"
#include "session.h"

#include <QListView>
#include <QMimeData>
#include <QPointer>

class QAction;

namespace dravonel {

// Drag data that offers `text/uri-list` and fills it only when the drop
// target asks: the marked entries of the list at that moment, lowest row first.
class ArchiveDragData : public QMimeData {
    Q_OBJECT
public:
    explicit ArchiveDragData(OutputList& list) : list_(&list) {}

    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    QPointer<OutputList> list_;
};

// The list control of the pane: drags start from the list's own drag
// gesture on an entry, so a press on an empty list starts none.
class OutFileList : public QListView {
    Q_OBJECT
public:
    explicit OutFileList(QWidget* parent = nullptr);

protected:
    void startDrag(Qt::DropActions supportedActions) override;
};

class mdiOutFile : public Pane {
    Q_OBJECT
public:
    mdiOutFile(Session& session, Program& program, MessageHost& prompts, QWidget* parent = nullptr);

    // The list the pane shows: the session's output list.
    OutputList& list() { return session_.outputs(); }

    void Form_Load() override;
    void Form_Resize() override;

    // Empties the list; no file is touched.
    void mnuDel_Click();
    // Keeps the entries that can still be read, in their long form.
    void mnuRefresh_Click();

    OutFileList* lstOutFile;
    QAction* mnuDel;
    QAction* mnuRefresh;
    QAction* mnuAll;
    QAction* mnuClear;
};

} // namespace dravonel
