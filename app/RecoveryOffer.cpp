#include "RecoveryOffer.h"

#include "AppState.h"
#include "DataAnalyzer.h"
#include "MainWin.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "SessionJournal.h"
#include "SessionJournals.h"

#include <QFile>

namespace RecoveryOffer {

int run(MainWin& w)
{
    int recovered = 0;
    for (const SessionJournal::Found& f : SessionJournal::find(w.journals()->folder())) {
        const QString date = f.written.isValid() ? f.written.toString(QStringLiteral("dd.MM.yyyy HH:mm:ss"))
                                                 : QStringLiteral("an unknown date");
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

} // namespace RecoveryOffer
