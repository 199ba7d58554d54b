// File > Export > HDF5 of the main window: asks for a file and writes the active session
// with Hdf5Export; a file that cannot be written adds an alert and asks again, as the
// spreadsheet export does.
#include "MainWin.h"

#include "AppState.h"
#include "AppText.h"
#include "Hdf5Export.h"
#include "PlotManager.h"
#include "Prompter.h"

#include <QMdiArea>

void MainWin::exportHdf5()
{
    if (!m_current || !m_sessions.contains(m_current) || !m_mdi->activeSubWindow())
        return;
    for (;;) {
        const QString name =
            Prompter::instance().saveFileName(this, "Export File", m_exportFileName, "HDF5 (*.h5)");
        if (name.isEmpty())
            return;
        m_exportFileName = AppText::folderOf(name);
        if (!Prompter::mayReplace(this, name))
            continue;
        QString error;
        if (Hdf5Export::writeFile(*m_current->data(), name, &error))
            return;
        addAlert(AlertPrefix::ExportData, QStringLiteral("Failed to write file '%1' (%2).").arg(name, error));
    }
}
