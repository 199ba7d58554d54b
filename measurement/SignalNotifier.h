#pragma once
// Turns SIGINT and SIGTERM into a Qt signal delivered by the event loop. The
// handler only writes the signal's number into a socket pair (the one thing
// it may safely do); a socket notifier reads it on the thread that made this
// object. One notifier at a time; the previous handlers return with it.
#include <QObject>

class QSocketNotifier;

class SignalNotifier : public QObject
{
    Q_OBJECT
public:
    explicit SignalNotifier(QObject* parent = nullptr);
    ~SignalNotifier() override;

    // Catches SIGINT and SIGTERM from now on, before any event loop or
    // application object exists: a signal that comes during the start-up is
    // held and delivered by the notifier made later.
    static void install();

    // The last signal the handler saw, 0 before any: true at once, also
    // while the event loop is held up (a blocking call).
    static int pending();
    // Forgets a signal seen (tests).
    static void clearPending();

signals:
    void received(int signalNumber);

private:
    void readPipe();
    QSocketNotifier* m_notifier = nullptr;
};
