// The result log: one line per step of a run, shown by the result-log pane.
#pragma once

#include <QAbstractListModel>
#include <QItemSelectionModel>
#include <QStringList>

namespace dravonel {

class MessageHost;

class ResultLog : public QAbstractListModel {
    Q_OBJECT
public:
    // Once the highlight stands beyond this line, every new line drops the first.
    static constexpr int kTrimAfter = 30000;

    explicit ResultLog(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Its current index is the highlighted line (normally the newest).
    QItemSelectionModel* selection() { return &selection_; }
    const QStringList& lines() const { return lines_; }
    int current() const;

    // Appends a line and moves the highlight one line down from where it was;
    // with the highlight beyond line 30000 the first line is dropped first.
    // Control characters, line separators and direction marks in `text` are
    // held escaped as TerminalText shows them.
    void ListInAdd(const QString& text);
    // Removes every line.
    void removeAll();
    // Every line followed by CR LF ("" for an empty log).
    QString clipboardText() const;
    // Writes the log as UTF-8 lines with CR LF. Nothing is written for an empty
    // log; an existing file is replaced only after a Yes to the overwrite
    // question, and only once the new text is complete. A failure shows
    // "セーブできませんでした。". Returns true when the file was written.
    bool WriteLogFile(const QString& path, MessageHost& host) const;

signals:
    // A line was added (for listeners such as a terminal echo).
    void lineAdded(const QString& line);

private:
    QStringList lines_;
    QItemSelectionModel selection_;
};

// Writes `lines`, each followed by CR LF, as UTF-8, replacing `path` only when
// the whole text was written. Returns false on any failure, and for a path at
// which something other than a regular file stands.
bool writeTextLines(const QString& path, const QStringList& lines);

} // namespace dravonel
