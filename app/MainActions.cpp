#include "MainActions.h"

#include <QAction>

MainActions MainActions::make(QObject* owner)
{
    auto make = [owner](const QString& text, const QString& tip, QKeySequence key, bool checkable,
                       bool appWide) {
        auto* a = new QAction(text, owner);
        if (!tip.isEmpty())
            a->setToolTip(tip);
        if (!key.isEmpty()) {
            a->setShortcut(key);
            if (appWide)
                a->setShortcutContext(Qt::ApplicationShortcut);
        }
        a->setCheckable(checkable);
        return a;
    };
    MainActions m;
    m.connect = make("Connect", "Connect/Disconnect RIRavaV", QKeySequence(Qt::Key_F5), true, true);
    m.scan = make("Scan", "Run Data Scan", QKeySequence(Qt::Key_F9), true, true);
    m.scan->setStatusTip("Run Data Scan");
    m.scan->setWhatsThis("Run Data Scan");
    m.clean = make("Clean", "Clean Probe Tip", QKeySequence(), true, false);
    m.move = make("Move...", "Move Linear Drive", QKeySequence(Qt::Key_F6), false, false);
    m.eepf = make("Edit default EEPF Table...", QString(), QKeySequence(), false, false);
    m.calibrate = make("Calibrate", "Calibrate RIRavaV", QKeySequence(), true, false);
    m.newSession = make("&New", QString(), QKeySequence(Qt::CTRL + Qt::Key_N), false, true);
    m.open = make("&Open...", QString(), QKeySequence(Qt::CTRL + Qt::Key_O), false, true);
    m.save = make("&Save", QString(), QKeySequence(Qt::CTRL + Qt::Key_S), false, true);
    m.saveAs = make("Save&As...", QString(), QKeySequence(Qt::CTRL + Qt::SHIFT + Qt::Key_S), false, true);
    m.exportCsv = make("Spread Sheet (*.csv)...", QString(), QKeySequence(), false, false);
    m.exportHdf5 = make("HDF5 (*.h5)...", QString(), QKeySequence(), false, false);
    m.import = make("Import Curves...", "Read IV curves from text files into a new session", QKeySequence(),
                    false, false);
    m.exportGraph = make("Export Graph...", "Write the graphs shown as PNG, SVG or PDF", QKeySequence(), false,
                         false);
    m.printGraph = make("Print Graph...", QString(), QKeySequence::Print, false, false);
    m.copyGraph = make("Copy Graph", "Copy the graphs shown as an image", QKeySequence(), false, false);
    m.copyResults = make("Copy Results", "Copy the results grid as tab-separated text", QKeySequence(), false,
                         false);
    m.runJob = make("Run Job...", QString(), QKeySequence(), false, false);
    m.server = make("Server", QString(), QKeySequence(), false, false);
    m.exit = make("E&xit", QString(), QKeySequence(), false, false);
    m.copy = make("&Copy", QString(), QKeySequence(Qt::CTRL + Qt::Key_C), false, false);
    m.help = make("&Help", QString(), QKeySequence(Qt::Key_F1), false, true);
    m.hwInfo = make("&Hardware Info...", QString(), QKeySequence(), false, false);
    m.about = make("About...", QString(), QKeySequence(), false, false);
    m.save->setEnabled(false);
    for (QAction* a : {m.exportGraph, m.printGraph, m.copyGraph, m.copyResults})
        a->setEnabled(false);
    m.saveAs->setEnabled(false);
    m.exportCsv->setEnabled(false);
    m.exportHdf5->setEnabled(false);

    return m;
}
