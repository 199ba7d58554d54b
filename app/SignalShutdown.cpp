#include "SignalShutdown.h"

#include "AppLog.h"
#include "MainWin.h"
#include "Prompter.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QTextStream>
#include <QTimer>
#include <csignal>

namespace {
constexpr int kPollMs = 20;

// Prints every box on stderr and answers it so that nothing new starts: No
// before Cancel before OK; dialogs are rejected, file dialogs cancelled.
class ShutdownPrompter : public Prompter
{
public:
    QMessageBox::StandardButton message(QWidget*, QMessageBox::Icon, const QString& title, const QString& text,
                                        QMessageBox::StandardButtons buttons, QMessageBox::StandardButton,
                                        const QString& informative) override
    {
        QString shown = text;
        if (!informative.isEmpty())
            shown += QLatin1Char('\n') + informative;
        QTextStream(stderr) << "[" << title << "] " << shown << "\n";
        if (AppLog* log = AppLog::instance())
            log->log(title + QStringLiteral(": ") + shown);
        for (QMessageBox::StandardButton b : {QMessageBox::No, QMessageBox::Cancel, QMessageBox::Ok})
            if (buttons.testFlag(b))
                return b;
        return QMessageBox::NoButton;
    }
    QString openFileName(QWidget*, const QString&, const QString&, const QString&) override { return QString(); }
    QString saveFileName(QWidget*, const QString&, const QString&, const QString&) override { return QString(); }
    int execDialog(QDialog*) override { return QDialog::Rejected; }
    bool openUrl(const QUrl&) override { return false; }
};

const char* signalName(int sig)
{
    return sig == SIGINT ? "SIGINT" : sig == SIGTERM ? "SIGTERM" : "signal";
}
} // namespace

SignalShutdown::SignalShutdown(MainWin& w, Mode mode) : QObject(nullptr), m_w(w), m_mode(mode), m_poll(new QTimer(this))
{
    m_poll->setInterval(kPollMs);
    connect(m_poll, &QTimer::timeout, this, &SignalShutdown::poll);
}

SignalShutdown::~SignalShutdown()
{
    if (m_prompter)
        Prompter::setInstance(nullptr);
}

void SignalShutdown::answerBoxes()
{
    if (!m_prompter)
        m_prompter = std::make_unique<ShutdownPrompter>();
    Prompter::setInstance(m_prompter.get());
}

Prompter& SignalShutdown::boxAnswerer()
{
    static ShutdownPrompter answerer;
    return answerer;
}

bool SignalShutdown::busy() const
{
    return m_w.appState() != 0 || m_w.isRunActive() || m_w.isCleaning() || m_w.isJobOpen() || m_w.controllerBusy();
}

void SignalShutdown::onSignal(int signalNumber)
{
    const bool first = m_signal == 0;
    m_signal = signalNumber;
    QTextStream(stderr) << "lpmeasure: " << signalName(signalNumber)
                        << (first ? ": aborting, then stopping the unit and disconnecting\n" : ": already stopping\n");
    if (AppLog* log = AppLog::instance())
        log->log(QStringLiteral("%1 received: the program ends").arg(QLatin1String(signalName(signalNumber))));
    if (m_mode == eLeaveProgram) {
        answerBoxes();
        // A box that waits for a person would hold the abort up.
        while (QWidget* modal = QApplication::activeModalWidget())
            modal->close();
    }
    if (m_w.isJobOpen())
        m_w.stopJob();
    else
        m_w.abortAll();
    m_poll->start();
    poll();
}

void SignalShutdown::poll()
{
    if (busy()) {
        // A connect or calibration that starts its own work clears the flag.
        if (!m_w.isAborted())
            m_w.isJobOpen() ? m_w.stopJob() : m_w.abortAll();
        return;
    }
    m_poll->stop();
    if (m_mode == eAbortOnly)
        return;
    // Connected, the Connect action reads "Disconnect".
    if (QAction* connect = m_w.action(QStringLiteral("Disconnect")); connect && connect->isChecked())
        connect->trigger();
    QCoreApplication::exit(exitCode());
}
