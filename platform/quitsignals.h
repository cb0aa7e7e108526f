#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT (logout, system shutdown, Ctrl+C in a terminal) into a signal on
// the main thread, so that the app can quit in order instead of dying on the spot. The
// handler only writes a byte to a pipe; the rest happens in the event loop. A second such
// signal ends the process at once, the way it would have without this.
// One instance per process.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

signals:
    void quitRequested();

private:
    void onReadable();

    QSocketNotifier *m_notifier = nullptr;
};
