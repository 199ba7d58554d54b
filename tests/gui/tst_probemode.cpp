#include "ProbeModeSelector.h"
#include "ScriptedPrompter.h"
#include "topBanner.h"

#include <QPushButton>

#include <QRadioButton>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

class TestProbeMode : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void choices_data();
    void choices();
    void escapeAndCloseIgnored();
    void startsFromStoredModes();
    void doubleProbeDisabledWhenUnavailable();
    void bannerScanDebounce();
};

void TestProbeMode::initTestCase()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName("QuendrixTest");
    QCoreApplication::setApplicationName("probe-mode-test");
}

void TestProbeMode::init()
{
    QSettings().clear();
}

void TestProbeMode::choices_data()
{
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("hw");
    QTest::addColumn<int>("sw");
    QTest::addColumn<int>("boxes");
    QTest::newRow("without dc reference") << int(ProbeModeSelector::eWithoutDcRef) << 0 << 0 << 0 << 1;
    QTest::newRow("with dc reference") << int(ProbeModeSelector::eWithDcRef) << 1 << 1 << 1 << 0;
    QTest::newRow("double") << int(ProbeModeSelector::eDouble) << 3 << 3 << 3 << 0;
    QTest::newRow("spherical") << int(ProbeModeSelector::eSpherical) << 4 << 0 << 4 << 0;
    QTest::newRow("mach") << int(ProbeModeSelector::eMach) << 5 << 3 << 5 << 0;
}

void TestProbeMode::choices()
{
    QFETCH(int, choice);
    ScriptedPrompter prompter;
    Prompter::setInstance(&prompter);
    ProbeModeSelector dlg;
    dlg.show();
    dlg.button(ProbeModeSelector::Choice(choice))->click();
    QTEST(dlg.result(), "result");
    QTEST(dlg.hwProbeMode(), "hw");
    QTEST(dlg.swProbeMode(), "sw");
    QVERIFY(!dlg.isVisible());
    QTEST(int(prompter.asked.size()), "boxes");
    if (!prompter.asked.isEmpty()) {
        QCOMPARE(prompter.asked.first().title, QString("WARNING"));
        QVERIFY(prompter.asked.first().text.startsWith("When using single probe without dc reference."));
    }
    QSettings s;
    QTEST(s.value("mainsettings/hwProbeMode").toInt(), "hw");
    QTEST(s.value("mainsettings/swProbeMode").toInt(), "sw");
    Prompter::setInstance(nullptr);
}

void TestProbeMode::escapeAndCloseIgnored()
{
    ProbeModeSelector dlg;
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(dlg.isVisible());
    dlg.close();
    QVERIFY(dlg.isVisible());
    QVERIFY(!(dlg.windowFlags() & Qt::WindowCloseButtonHint));
}

void TestProbeMode::startsFromStoredModes()
{
    QSettings s;
    s.setValue("mainsettings/hwProbeMode", 3);
    s.setValue("mainsettings/swProbeMode", 5);
    ProbeModeSelector dlg;
    QCOMPARE(dlg.hwProbeMode(), 3);
    QCOMPARE(dlg.swProbeMode(), 5);
    QVERIFY(dlg.button(ProbeModeSelector::eMach)->isChecked());
}

void TestProbeMode::bannerScanDebounce()
{
    topBanner b;
    QSignalSpy scan(&b, &topBanner::scan);
    QSignalSpy conn(&b, &topBanner::connect);
    b.scanButton()->click();
    QCOMPARE(scan.count(), 1);
    QVERIFY(!b.scanButton()->isEnabled());
    QVERIFY(b.scanDebouncing());
    b.scanButton()->click(); // disabled: no second run
    QCOMPARE(scan.count(), 1);
    b.setScanEnabled(false); // disabled from outside: the timer stops
    QVERIFY(!b.scanDebouncing());
    b.setScanEnabled(true);
    QVERIFY(b.scanButton()->isEnabled());
    b.connectButton()->click();
    QCOMPARE(conn.count(), 1);
    QVERIFY(!b.connectButton()->isChecked()); // the action decides the checked state
}

void TestProbeMode::doubleProbeDisabledWhenUnavailable()
{
    ProbeModeSelector dlg(nullptr, false);
    QVERIFY(!dlg.button(ProbeModeSelector::eDouble)->isEnabled());
    QVERIFY(!dlg.button(ProbeModeSelector::eMach)->isEnabled());
    // The DC reference drives the second channel: also a double-probe mode.
    QVERIFY(!dlg.button(ProbeModeSelector::eWithDcRef)->isEnabled());
    QVERIFY(dlg.button(ProbeModeSelector::eWithoutDcRef)->isEnabled());
    QVERIFY(dlg.button(ProbeModeSelector::eSpherical)->isEnabled());
}

QTEST_MAIN(TestProbeMode)
#include "tst_probemode.moc"
