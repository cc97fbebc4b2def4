// Ends the program the normal way when the session asks it to (SIGTERM, SIGINT,
// SIGHUP): the event loop is left as if the main window were closed, so the
// settings are still saved.
#pragma once

#include <QObject>

class QSocketNotifier;

namespace dravonel {

class TerminationWatcher : public QObject {
    Q_OBJECT
public:
    explicit TerminationWatcher(QObject* parent = nullptr);
    ~TerminationWatcher() override;

signals:
    // Emitted on the event loop's thread after one of the signals arrived.
    void terminationRequested(int signal);

private:
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace dravonel
