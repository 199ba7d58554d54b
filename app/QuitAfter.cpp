#include "QuitAfter.h"

#include "MainWin.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "SessionJournals.h"
#include "SignalShutdown.h"

#include <QApplication>

namespace QuitAfter {

void quit(MainWin& w)
{
    // Boxes still to come (a run's end) are printed and answered.
    Prompter::setInstance(&SignalShutdown::boxAnswerer());
    while (QWidget* modal = QApplication::activeModalWidget())
        modal->close();
    // The close asks nothing; the journals of unsaved sessions stay.
    w.journals()->keepOnClose();
    for (PlotManager* pm : w.sessions())
        pm->setModified(false);
    w.close();
}

} // namespace QuitAfter
