// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal on the user-interface thread, so that the
// program closes as its own exit command does: a recording is finished and its file closed, the
// window placement saved.
#pragma once

#include <QObject>

class QSocketNotifier;

class CTerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit CTerminationSignals(QObject* parent = nullptr);
    ~CTerminationSignals() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void OnReadable();
    QSocketNotifier* m_notifier = nullptr;
};
