#include "command_table.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace dravonel {

CommandTable::CommandTable(QMainWindow& window, const QList<Entry>& entries) {
    QMenuBar* bar = window.menuBar();
    QMap<QString, QMenu*> menus;
    for (const Entry& entry : entries) {
        QMenu* menu = menus.value(entry.menu);
        if (entry.name.isEmpty()) {
            menu->addSeparator();
            continue;
        }
        QAction* action = nullptr;
        if (!entry.handler) {
            QMenu* sub = bar->addMenu(entry.text);
            menus.insert(entry.name, sub);
            action = sub->menuAction();
        } else {
            action = new QAction(entry.text, menu ? static_cast<QObject*>(menu) : bar);
            QObject::connect(action, &QAction::triggered, &window, entry.handler);
            if (menu)
                menu->addAction(action);
            else
                bar->addAction(action);
        }
        action->setObjectName(entry.name);
        if (!entry.key.isEmpty()) {
            action->setShortcut(entry.key);
            action->setShortcutContext(Qt::WindowShortcut);
            // The key works whichever pane is active: the action belongs to the window.
            window.addAction(action);
        }
        actions_.insert(entry.name, action);
        rules_.append({action, entry.enabled});
    }
}

void CommandTable::update() const {
    for (const auto& [action, enabled] : rules_)
        action->setEnabled(enabled());
}

} // namespace dravonel
