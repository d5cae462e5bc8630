#pragma once

#include <QObject>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (a kill, Ctrl+C, the terminal or the session
// going) ask the program to quit through its normal exit, where the lists
// are saved and the member logged out, instead of ending it where it
// stands. The handler only writes the signal's number into a pipe; the
// event loop reads it and emits quitRequested. One object per process;
// its destruction gives the signals back their default effect.
class QuitSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitSignals(QObject *parent = nullptr);
    ~QuitSignals() override;

    // The handlers are in place.
    bool isActive() const { return m_notifier != nullptr; }

signals:
    void quitRequested(int signal);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
};
