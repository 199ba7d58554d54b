#pragma once
// The main window's menu commands. The window creates them and puts them in
// its menus; the collaborators check, enable and rename the ones they run.
class QAction;
class QObject;

struct MainActions {
    QAction* connect = nullptr;
    QAction* scan = nullptr;
    QAction* clean = nullptr;
    QAction* move = nullptr;
    QAction* eepf = nullptr;
    QAction* calibrate = nullptr;
    QAction* newSession = nullptr;
    QAction* open = nullptr;
    QAction* save = nullptr;
    QAction* saveAs = nullptr;
    QAction* exportCsv = nullptr;
    QAction* exportHdf5 = nullptr;
    QAction* import = nullptr;
    QAction* exportGraph = nullptr;
    QAction* printGraph = nullptr;
    QAction* copyGraph = nullptr;
    QAction* copyResults = nullptr;
    QAction* runJob = nullptr;
    QAction* server = nullptr;
    QAction* exit = nullptr;
    QAction* copy = nullptr;
    QAction* help = nullptr;
    QAction* hwInfo = nullptr;
    QAction* about = nullptr;

    // Every command with its text, tip and shortcut; the ones that need a
    // session with data start disabled.
    static MainActions make(QObject* owner);
};
