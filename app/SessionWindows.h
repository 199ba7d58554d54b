#pragma once
// The session windows of the main window: the tabbed area that holds them,
// the list of open sessions and the current one (a hidden one before the
// first connect), the configuration the next session starts from, and the
// file commands on them (open, import, save, export). The window's title
// and the tab bar follow the current session.
#include "ConfigParam.h"
#include "SessionFile.h"

#include <QList>
#include <QObject>
#include <QString>
#include <functional>

class Alerts;
class ConfigParamPanel;
class PlotManager;
class QMdiArea;
class QMdiSubWindow;
class QSettings;
class QWidget;
class RIRavaVCntrl;
class StatusLine;
struct MainActions;

class SessionWindows : public QObject
{
    Q_OBJECT
public:
    struct Needs {
        QWidget* window = nullptr; // parent of the sessions and the boxes; its title
        RIRavaVCntrl* ctrl = nullptr;
        // Whether another thread talks to the unit (the panels ask before they do).
        std::function<bool()> controllerBusy;
        StatusLine* status = nullptr;
        Alerts* alerts = nullptr;
        const MainActions* actions = nullptr;
    };
    // Reads the program-wide configuration pair and makes the hidden session.
    SessionWindows(Needs needs, QWidget* areaParent);

    QMdiArea* area() const { return m_mdi; }
    QList<PlotManager*> list() const { return m_sessions; }
    PlotManager* current() const { return m_current; }
    // The current session when it is an open window (not the hidden one).
    PlotManager* shown() const;
    int openCount() const { return m_openSessions; }
    // The open sessions and the hidden one.
    QList<PlotManager*> all() const;
    static ConfigParamPanel* configPanel(PlotManager* pm);
    // The session's active record; the program-wide single-probe one without a session.
    ConfigParam& activeConfig(PlotManager* pm);
    const SingleProbeConfigParam& singleConfig() const { return m_singleConfig; }

    bool isAdvanced() const { return m_advanced; }
    void setAdvanced(bool on);
    // The drive's rail length (mm) bounds every session's position boxes.
    void setRailLength(double mm);
    QString* dialogPathStore() { return &m_dialogPath; }
    QString dialogPath() const { return m_dialogPath; }
    QString openFileName() const { return m_openFileName; }
    void readSettings(const QSettings& s);
    void writeSettings(QSettings& s) const;

    // A new session window (the hidden session becomes the first).
    PlotManager* create();
    void close(PlotManager* pm);
    void activated(QMdiSubWindow* window);
    // A failed load closes the new window again.
    bool openFile(const QString& fileName, SessionFile::ReadReport* report = nullptr);
    // File > Open and File > Import Curves (with their dialogs).
    void open();
    void importCurves();
    void save();
    void saveAs();
    void exportCsv();
    void exportHdf5();
    void copy();
    // Calls f on the shown session, if any.
    void onShown(void (PlotManager::*f)());
    void updateTitle();

signals:
    // A session connected to the unit closes; current: it is the current one.
    void liveSessionClosing(bool current);
    // Another session is in front (clients of the data server see it at once).
    void currentChanged();
    void widgetStatesChanged();

private:
    PlotManager* newSessionObject();
    void updateTabBar();

    Needs m_needs;
    QMdiArea* m_mdi;
    QList<PlotManager*> m_sessions;
    PlotManager* m_current = nullptr;
    int m_openSessions = 0;
    int m_sessionCounter = 0;
    bool m_advanced = false;
    double m_railLength = 0.0;
    SingleProbeConfigParam m_singleConfig;
    DoubleProbeConfigParam m_doubleConfig;
    QString m_openFileName = QStringLiteral("./");
    QString m_dialogPath = QStringLiteral("./");
    QString m_exportFileName = QStringLiteral("./");
};
