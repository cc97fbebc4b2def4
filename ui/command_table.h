// A window's commands as one table: each entry names its menu ("" for the
// menu bar), its object name, caption, key, handler (none for a menu) and the
// rule that enables it. An entry without a name is a separator.
#pragma once

#include <QKeySequence>
#include <QList>
#include <QMap>
#include <QPair>
#include <QString>

#include <functional>

class QAction;
class QMainWindow;

namespace dravonel {

class CommandTable {
public:
    struct Entry {
        QString menu, name, text;
        QKeySequence key;
        std::function<void()> handler;
        std::function<bool()> enabled;
    };

    // Builds the entries into `window`'s menu bar, in table order. A key works
    // whichever child of the window has the focus.
    CommandTable(QMainWindow& window, const QList<Entry>& entries);

    // The action of the entry named `name` (a menu's: its menu action), or null.
    QAction* action(const QString& name) const { return actions_.value(name); }
    // Enables every command by its rule.
    void update() const;

private:
    QMap<QString, QAction*> actions_;
    QList<QPair<QAction*, std::function<bool()>>> rules_;
};

} // namespace dravonel
