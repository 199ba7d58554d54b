// The main window's collaborators that need no window around them: the
// status line with its cursor readout, the alert list with its button, and
// the session windows (list, current session, title, tab bar, the
// configuration a new session starts from).
#include "Alerts.h"
#include "AppState.h"
#include "MainActions.h"
#include "PlotManager.h"
#include "RIRavaVCntrl.h"
#include "SessionConfig.h"
#include "SessionWindows.h"
#include "StatusLine.h"

#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTabBar>
#include <QtTest>
#include <memory>

namespace {
QString title()
{
    return QString::fromLatin1(AppInfo::Title);
}

// A window with what the session windows are given by the main window.
struct Host {
    QMainWindow window;
    RIRavaVCntrl ctrl;
    StatusLine status{window.statusBar()};
    Alerts alerts{&window, ctrl.getScannerDescriptor()};
    MainActions actions = MainActions::make(&window);
    std::unique_ptr<SessionWindows> sessions;

    Host()
    {
        SessionWindows::Needs n;
        n.window = &window;
        n.ctrl = &ctrl;
        n.controllerBusy = [] { return false; };
        n.status = &status;
        n.alerts = &alerts;
        n.actions = &actions;
        sessions = std::make_unique<SessionWindows>(n, &window);
        window.setCentralWidget(sessions->area());
        window.setWindowTitle(title()); // as the main window starts
    }
    bool tabBarShown() const
    {
        QTabBar* bar = sessions->area()->findChild<QTabBar*>();
        return bar && !bar->isHidden();
    }
};
} // namespace

class TestSessionWindows : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void statusLine_data();
    void statusLine();
    void alertButton_data();
    void alertButton();
    void firstSessionIsTheHiddenOne();
    void titleAndTabBarFollowTheSessions_data();
    void titleAndTabBarFollowTheSessions();
    void closingKeepsAnOpenOneOrANewHiddenOne();
    void liveSessionClosingIsAnnounced_data();
    void liveSessionClosingIsAnnounced();
    void nextSessionStartsFromTheClosedOne();
    void fileCommandsFollowTheShownSession();
};

void TestSessionWindows::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("QuendrixTest");
    QCoreApplication::setApplicationName("session-windows-test");
}

void TestSessionWindows::init()
{
    QSettings().clear();
}

// Steps "show:T", "append:T", "cursor:T" (empty T leaves the graph) and
// "state:N", then the text the message area shows.
void TestSessionWindows::statusLine_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QString>("shown");
    const QString idle = AppState::text(0);
    const QString connecting = AppState::text(1);
    QTest::newRow("readout shown") << QStringList{"show:A", "cursor:x=1"} << "x=1";
    QTest::newRow("leaving gives the text back") << QStringList{"show:A", "cursor:x=1", "cursor:"} << "A";
    QTest::newRow("a second readout keeps the first text")
        << QStringList{"show:A", "cursor:x=1", "cursor:x=2", "cursor:"} << "A";
    QTest::newRow("leaving without a readout changes nothing") << QStringList{"show:A", "cursor:"} << "A";
    QTest::newRow("a new state is not replaced by the older text")
        << QStringList{"show:A", "cursor:x=1", "state:1", "cursor:"} << connecting;
    QTest::newRow("a readout after a state gives the state back")
        << QStringList{"state:0", "cursor:x=1", "cursor:"} << idle;
    QTest::newRow("append adds to what is shown") << QStringList{"state:1", "append:..."} << connecting + "...";
}

void TestSessionWindows::statusLine()
{
    QFETCH(QStringList, steps);
    QFETCH(QString, shown);
    QStatusBar bar;
    StatusLine line(&bar);
    for (const QString& step : steps) {
        const QString what = step.section(':', 0, 0);
        const QString arg = step.section(':', 1);
        if (what == "show")
            line.show(arg);
        else if (what == "append")
            line.append(arg);
        else if (what == "cursor")
            line.cursorReadout(arg);
        else if (what == "state")
            line.setState(arg.toInt());
    }
    QCOMPARE(line.text(), shown);
    QCOMPARE(bar.currentMessage(), shown);
}

// Steps "add", "append", "store" (a line added to the list directly),
// "clear", "refresh"; then whether the button shows and the list's size.
void TestSessionWindows::alertButton_data()
{
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<bool>("buttonShown");
    QTest::addColumn<int>("count");
    QTest::newRow("none") << QStringList{} << false << 0;
    QTest::newRow("add shows it") << QStringList{"add"} << true << 1;
    QTest::newRow("append shows it") << QStringList{"append"} << true << 1;
    QTest::newRow("a stored line waits for the refresh") << QStringList{"store"} << false << 1;
    QTest::newRow("refresh shows a stored line") << QStringList{"store", "refresh"} << true << 1;
    QTest::newRow("clear keeps it until the refresh") << QStringList{"add", "clear"} << true << 0;
    QTest::newRow("refresh after clear hides it") << QStringList{"add", "clear", "refresh"} << false << 0;
}

void TestSessionWindows::alertButton()
{
    QFETCH(QStringList, steps);
    QFETCH(bool, buttonShown);
    QFETCH(int, count);
    QWidget window;
    RIRavaVCntrl ctrl;
    Alerts alerts(&window, ctrl.getScannerDescriptor());
    for (const QString& step : steps) {
        if (step == "add")
            alerts.add(AlertPrefix::ExportData, "failed");
        else if (step == "append")
            alerts.append("line");
        else if (step == "store")
            alerts.store()->append("drive line");
        else if (step == "clear")
            alerts.clear();
        else if (step == "refresh")
            alerts.refreshButton();
    }
    QCOMPARE(!alerts.button()->isHidden(), buttonShown);
    QCOMPARE(alerts.list().size(), count);
    if (steps.contains("add") && count == 1)
        QCOMPARE(alerts.list().first(), QString::fromLatin1(AlertPrefix::ExportData) + "failed");
}

void TestSessionWindows::firstSessionIsTheHiddenOne()
{
    Host h;
    PlotManager* hidden = h.sessions->current();
    QVERIFY(hidden);
    QVERIFY(h.sessions->list().isEmpty());
    QCOMPARE(h.sessions->all(), QList<PlotManager*>{hidden});
    QCOMPARE(h.sessions->shown(), nullptr);
    PlotManager* first = h.sessions->create();
    QCOMPARE(first, hidden);
    QCOMPARE(h.sessions->openCount(), 1);
    QCOMPARE(h.sessions->shown(), first);
    PlotManager* second = h.sessions->create();
    QVERIFY(second != first);
    QCOMPARE(h.sessions->list(), (QList<PlotManager*>{first, second}));
    QCOMPARE(h.sessions->current(), second);
}

void TestSessionWindows::titleAndTabBarFollowTheSessions_data()
{
    QTest::addColumn<int>("opened");
    QTest::addColumn<int>("closedFirst");
    QTest::addColumn<QString>("windowTitle");
    QTest::addColumn<bool>("tabBar");
    QTest::newRow("one") << 1 << 0 << "Session 1[*] - " + title() << false;
    QTest::newRow("two") << 2 << 0 << "Session 2[*] - " + title() << true;
    QTest::newRow("three, first closed") << 3 << 1 << "Session 3[*] - " + title() << true;
    QTest::newRow("two, first closed") << 2 << 1 << "Session 2[*] - " + title() << false;
    QTest::newRow("one, closed") << 1 << 1 << title() << false;
}

void TestSessionWindows::titleAndTabBarFollowTheSessions()
{
    QFETCH(int, opened);
    QFETCH(int, closedFirst);
    QFETCH(QString, windowTitle);
    QFETCH(bool, tabBar);
    Host h;
    h.window.show();
    for (int i = 0; i < opened; ++i)
        h.sessions->create();
    for (int i = 0; i < closedFirst; ++i)
        h.sessions->close(h.sessions->list().first());
    QCOMPARE(h.sessions->openCount(), opened - closedFirst);
    QCOMPARE(h.window.windowTitle(), windowTitle);
    QCOMPARE(h.tabBarShown(), tabBar);
}

void TestSessionWindows::closingKeepsAnOpenOneOrANewHiddenOne()
{
    Host h;
    PlotManager* a = h.sessions->create();
    PlotManager* b = h.sessions->create();
    PlotManager* c = h.sessions->create();
    // The current one stays an open session: the one in front, if any.
    auto inFront = [&h]() -> PlotManager* {
        QMdiSubWindow* sub = h.sessions->area()->activeSubWindow();
        return sub ? qobject_cast<PlotManager*>(sub->widget()) : nullptr;
    };
    h.sessions->close(c);
    QCOMPARE(h.sessions->list(), (QList<PlotManager*>{a, b}));
    QVERIFY(h.sessions->list().contains(h.sessions->current()));
    if (inFront())
        QCOMPARE(h.sessions->current(), inFront());
    h.sessions->close(a);
    QCOMPARE(h.sessions->current(), b);
    h.sessions->close(b);
    PlotManager* hidden = h.sessions->current();
    QVERIFY(hidden);
    QVERIFY(hidden != a && hidden != b && hidden != c);
    QVERIFY(h.sessions->list().isEmpty());
    QCOMPARE(h.sessions->openCount(), 0);
    // Closing one that is not open (twice, or the hidden one) changes nothing.
    h.sessions->close(b);
    h.sessions->close(hidden);
    QCOMPARE(h.sessions->openCount(), 0);
    QCOMPARE(h.sessions->current(), hidden);
}

void TestSessionWindows::liveSessionClosingIsAnnounced_data()
{
    QTest::addColumn<bool>("live");
    QTest::addColumn<bool>("closeCurrent");
    QTest::addColumn<int>("announced");
    QTest::newRow("not live") << false << true << 0;
    QTest::newRow("live, current") << true << true << 1;
    QTest::newRow("live, behind") << true << false << 1;
}

void TestSessionWindows::liveSessionClosingIsAnnounced()
{
    QFETCH(bool, live);
    QFETCH(bool, closeCurrent);
    QFETCH(int, announced);
    Host h;
    PlotManager* first = h.sessions->create();
    PlotManager* second = h.sessions->create();
    PlotManager* closing = closeCurrent ? second : first;
    closing->setLive(live);
    QSignalSpy spy(h.sessions.get(), &SessionWindows::liveSessionClosing);
    QSignalSpy states(h.sessions.get(), &SessionWindows::widgetStatesChanged);
    h.sessions->close(closing);
    QCOMPARE(spy.size(), announced);
    if (announced)
        QCOMPARE(spy.first().first().toBool(), closeCurrent);
    QCOMPARE(states.size(), 1);
}

void TestSessionWindows::nextSessionStartsFromTheClosedOne()
{
    Host h;
    PlotManager* first = h.sessions->create();
    const double idle = first->configs().single().voltageIdle + 1.25;
    first->configs().single().voltageIdle = idle;
    PlotManager* second = h.sessions->create();
    QVERIFY(second->configs().single().voltageIdle != idle); // not before the first closed
    h.sessions->close(first);
    PlotManager* third = h.sessions->create();
    QCOMPARE(third->configs().single().voltageIdle, idle);
    QCOMPARE(h.sessions->singleConfig().voltageIdle, idle);
}

void TestSessionWindows::fileCommandsFollowTheShownSession()
{
    Host h;
    h.window.show();
    const MainActions& a = h.actions;
    const QList<QAction*> figure{a.exportGraph, a.printGraph, a.copyGraph, a.copyResults};
    const QList<QAction*> data{a.save, a.saveAs, a.exportCsv, a.exportHdf5};
    h.sessions->create();
    h.sessions->activated(h.sessions->area()->subWindowList().first());
    for (QAction* act : figure)
        QVERIFY2(act->isEnabled(), qPrintable(act->text()));
    for (QAction* act : data)
        QVERIFY2(!act->isEnabled(), qPrintable(act->text())); // the session holds no scan
    h.sessions->close(h.sessions->current());
    for (QAction* act : figure + data)
        QVERIFY2(!act->isEnabled(), qPrintable(act->text()));
}

QTEST_MAIN(TestSessionWindows)
#include "tst_sessionwindows.moc"
