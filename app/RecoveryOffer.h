#pragma once
// At start-up: offers the journals that ended programs left in the recovery
// folder ("Recover the unsaved measurement of <date>, N scans?"). Yes opens
// one as a modified, unsaved session that keeps its journal until saved or
// discarded; No leaves it for the next start; Discard deletes it. The offer
// never holds up what the command line asked for: it comes once the window
// is idle, and a run that no one can answer only names the journals.
#include <QString>

class MainWin;
class QTextStream;

namespace RecoveryOffer {

// The number of sessions recovered. Boxes go through the prompter.
int run(MainWin& w);

// Runs the offer once nothing runs and no box is open (after a measurement
// the command line started, a connect, a job); a signal's shutdown cancels it.
void runWhenIdle(MainWin& w);

// One line per journal in `folder` for a run that no one can answer:
// "unsaved measurement of <date>, N scans, kept in <path>; open lpmeasure to
// recover it". Returns the number of lines.
int report(const QString& folder, QTextStream& out);

} // namespace RecoveryOffer
