#include "RecoveryOffer.h"

#include "AppState.h"
#include "DataAnalyzer.h"
#include "MainWin.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "SessionJournal.h"
#include "SessionJournals.h"
#include "SignalNotifier.h"

#include <QApplication>
#include <QFile>
#include <QTextStream>
#include <QTimer>

namespace RecoveryOffer {

namespace {
QString dateOf(const SessionJournal::Found& f)
{
    return f.written.isValid() ? f.written.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                               : QStringLiteral("an unknown date");
}

bool idle(const MainWin& w)
{
    return w.appState() == 0 && !w.isRunActive() && !w.isCleaning() && !w.isJobOpen() && !w.controllerBusy()
        && !QApplication::activeModalWidget();
}
} // namespace

int run(MainWin& w)
{
    int recovered = 0;
    for (const SessionJournal::Found& f : SessionJournal::find(w.journals()->folder())) {
        const QString date = dateOf(f);
        const QMessageBox::StandardButton b = Prompter::instance().message(
            &w, QMessageBox::Question, QString::fromLatin1(AppInfo::Title),
            QStringLiteral("Recover the unsaved measurement of %1, %2 scans?").arg(date).arg(f.scans),
            QMessageBox::Yes | QMessageBox::No | QMessageBox::Discard, QMessageBox::Yes,
            QStringLiteral("No keeps it for the next start; Discard deletes it."));
        if (b == QMessageBox::Discard) {
            QFile::remove(f.path);
            continue;
        }
        if (b != QMessageBox::Yes)
            continue;
        SessionFile::ReadReport report;
        if (!w.openSessionFile(f.path, &report))
            continue;
        PlotManager* pm = w.currentSession();
        // Saved where the user chooses, never into the recovery folder.
        pm->data()->setFileName(QString());
        pm->setModified(true);
        pm->setSessionTitle(QStringLiteral("Recovered %1").arg(date));
        w.journals()->adopt(pm, f.path);
        ++recovered;
    }
    return recovered;
}

void runWhenIdle(MainWin& w)
{
    auto* timer = new QTimer(&w);
    timer->setInterval(250);
    QObject::connect(timer, &QTimer::timeout, &w, [&w, timer] {
        if (SignalNotifier::pending()) {
            timer->deleteLater(); // the program ends; the journals stay
            return;
        }
        if (!idle(w))
            return;
        timer->stop();
        timer->deleteLater();
        run(w);
    });
    timer->start();
}

int report(const QString& folder, QTextStream& out)
{
    const QList<SessionJournal::Found> found = SessionJournal::find(folder);
    for (const SessionJournal::Found& f : found)
        out << "lpmeasure: unsaved measurement of " << dateOf(f) << ", " << f.scans << " scans, kept in " << f.path
            << "; open lpmeasure to recover it\n";
    out.flush();
    return found.size();
}

} // namespace RecoveryOffer
