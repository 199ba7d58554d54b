#include "AppState.h"
#include "AppText.h"

#include <QLocale>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>
#include <cmath>

class TestAppText : public QObject
{
    Q_OBJECT
private slots:
    void commandLine_data();
    void commandLine();
    void commandLineRelativeToCaller();
    void syncText_data();
    void syncText();
    void spinnerCycles();
    void syncActionRules();
    void progress_data();
    void progress();
    void seedIsUnsigned();
    void nonOverwrite_data();
    void nonOverwrite();
    void folderAndTitle();
    void saveNames_data();
    void saveNames();
    void drop_data();
    void drop();
    void resultsTexts();
    void resultsTextsDecimalComma();
    void eepfRange_data();
    void eepfRange();
    void trendRange();
    void widgetStates();
    void stateTexts();
    void installedFolders();

private:
    QTemporaryDir m_tmp;
};

void TestAppText::commandLine_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("file");       // the last one, the window active at the start
    QTest::addColumn<QStringList>("files");  // every one, each opened in its window
    QTest::newRow("none") << QStringList{"lpmeasure"} << QString() << QStringList();
    QTest::newRow("options only") << QStringList{"lpmeasure", "-x", "/y"} << QString() << QStringList();
    QTest::newRow("one file") << QStringList{"lpmeasure", "a.ldf"} << "a.ldf" << QStringList{"a.ldf"};
    QTest::newRow("several, last active") << QStringList{"lpmeasure", "a.ldf", "-v", "b.ldf", "/z"} << "b.ldf"
                                          << QStringList{"a.ldf", "b.ldf"};
    QTest::newRow("program name ignored") << QStringList{"prog.ldf"} << QString() << QStringList();
    QTest::newRow("absolute path") << QStringList{"lpmeasure", "/data/run.ldf", "/q"} << "/data/run.ldf"
                                   << QStringList{"/data/run.ldf"};
}

void TestAppText::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(QString, file);
    QFETCH(QStringList, files);
    QCOMPARE(AppText::sessionFileFromArgs(args), file);
    QCOMPARE(AppText::sessionFilesFromArgs(args), files);
}

void TestAppText::commandLineRelativeToCaller()
{
    const QStringList args{"lpmeasure", "data/run.ldf"};
    QCOMPARE(AppText::sessionFileFromArgs(args, "/home/user"), QString("/home/user/data/run.ldf"));
    QCOMPARE(AppText::sessionFileFromArgs({"lpmeasure", "C.ldf"}, "/x"), QString("/x/C.ldf"));
    QVERIFY(AppText::sessionFileFromArgs({"lpmeasure", "-q"}, "/x").isEmpty());
    QCOMPARE(AppText::sessionFilesFromArgs({"lpmeasure", "a.ldf", "/data/b.ldf", "c/d.ldf"}, "/x"),
             (QStringList{"/x/a.ldf", "/data/b.ldf", "/x/c/d.ldf"}));
}

void TestAppText::syncText_data()
{
    QTest::addColumn<double>("f");
    QTest::addColumn<QString>("text");
    QTest::newRow("MHz") << 1.5e6 << "<font color=white> Fsync 1.500 MHz ";
    QTest::newRow("Hz, blank unit") << 999.5 << "<font color=white> Fsync 999.500  Hz ";
    QTest::newRow("kHz lower edge") << 1000.0 << "<font color=white> Fsync 1.000 kHz ";
    QTest::newRow("kHz") << 12345.0 << "<font color=white> Fsync 12.345 kHz ";
    QTest::newRow("zero") << 0.0 << "<font color=white> Fsync - ";
    QTest::newRow("too low") << -2.0 << " <font color=white> Fsync    TOO LOW ";
    QTest::newRow("too high") << -3.0 << "<font color=white> Fsync    TOO HIGH ";
    QTest::newRow("other negative") << -7.0 << "<font color=white> Fsync    UNKNOWN ";
    QTest::newRow("nan") << double(NAN) << "<font color=white> Fsync    UNKNOWN ";
}

void TestAppText::syncText()
{
    QFETCH(double, f);
    QFETCH(QString, text);
    int spinner = 1;
    QCOMPARE(AppText::syncText(f, spinner), text);
    QCOMPARE(spinner, 1); // only f == -1 moves the spinner
}

void TestAppText::spinnerCycles()
{
    int spinner = 1;
    QStringList seen;
    for (int i = 0; i < 5; ++i)
        seen << AppText::syncText(-1.0, spinner);
    QCOMPARE(seen, (QStringList{"<font color=white> Fsync     - ", "<font color=white> Fsync     * ",
                                "<font color=white> Fsync     | ", "<font color=white> Fsync     / ",
                                "<font color=white> Fsync     - "}));
    spinner = 0; // out of range state restarts at the first frame
    QCOMPARE(AppText::syncText(-1.0, spinner), QString("<font color=white> Fsync     - "));
}

void TestAppText::syncActionRules()
{
    using AppText::SyncAction;
    QCOMPARE(AppText::syncAction(false, true, true), SyncAction::eShowNotConnected);
    QCOMPARE(AppText::syncAction(true, true, false), SyncAction::eKeepLast); // job thread busy
    QCOMPARE(AppText::syncAction(true, false, true), SyncAction::eKeepLast); // scan running
    QCOMPARE(AppText::syncAction(true, false, false), SyncAction::eRead);
}

void TestAppText::progress_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<int>("percent");
    QTest::addColumn<double>("scanSeconds");
    QTest::addColumn<int>("elapsed");
    QTest::addColumn<int>("scansDone");
    QTest::addColumn<int>("runScans");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<int>("shown");
    QTest::addColumn<QString>("timeLeft");
    QTest::newRow("third of ten 2 s scans") << 10 << 50 << 2.0 << 1 << 2 << 10 << true << 25 << "Time Left 00:00:15";
    QTest::newRow("short run no time left") << 10 << 50 << 0.3 << 0 << 2 << 10 << true << 25 << "";
    QTest::newRow("zero run scans") << 10 << 50 << 2.0 << 1 << 2 << 0 << true << 0 << "";
    QTest::newRow("overrun clamps") << 10 << 90 << 1.0 << 0 << 12 << 10 << true << 100 << "Time Left 00:00:00";
    QTest::newRow("ion current read") << 6 << 40 << 10.0 << 4 << 0 << 0 << true << 40 << "Time Left 00:00:06";
    QTest::newRow("percent 100 drops elapsed") << 7 << 100 << 10.0 << 9 << 0 << 0 << true << 100 << "Time Left 00:00:10";
    QTest::newRow("negative percent clamps") << 7 << -20 << 1.0 << 0 << 0 << 0 << true << 0 << "";
    QTest::newRow("hours") << 6 << 1 << 7300.0 << 100 << 0 << 0 << true << 1 << "Time Left 02:00:00";
    QTest::newRow("cleaning hides") << 5 << 50 << 10.0 << 1 << 0 << 0 << false << 0 << "";
}

void TestAppText::progress()
{
    QFETCH(int, state);
    QFETCH(int, percent);
    QFETCH(double, scanSeconds);
    QFETCH(int, elapsed);
    QFETCH(int, scansDone);
    QFETCH(int, runScans);
    AppText::ProgressInput in;
    in.appState = state;
    in.percent = percent;
    in.scanSeconds = scanSeconds;
    in.elapsedSeconds = elapsed;
    in.scansDone = scansDone;
    in.dataScanRunScans = runScans;
    const AppText::ProgressDisplay d = AppText::progress(in);
    QTEST(d.visible, "visible");
    QTEST(d.percent, "shown");
    QTEST(d.timeLeft, "timeLeft");
    QVERIFY(d.rearm);
}

void TestAppText::seedIsUnsigned()
{
    QCOMPARE(AppText::randomSeed(999, 31), quint32(999u << 31));
    QCOMPARE(AppText::randomSeed(5, 33), quint32(5u << 1));
    // Timed run with a zero total: 0 %, never a division by zero.
    AppText::ProgressInput in;
    in.appState = 10;
    in.timedRun = true;
    in.runClockMs = 5000;
    in.timedTotalSeconds = 0.0;
    QCOMPARE(AppText::progress(in).percent, 0);
    in.timedTotalSeconds = 20.0;
    QCOMPARE(AppText::progress(in).percent, 25);
    in.appState = 0;
    QVERIFY(!AppText::progress(in).rearm);
    QVERIFY(!AppText::progress(in).visible);
}

void TestAppText::nonOverwrite_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("expected");
    QTest::newRow("first") << "/d/run.ldf" << QStringList{"/d/run.ldf"} << "/d/run_1.ldf";
    QTest::newRow("second") << "/d/run.ldf" << QStringList{"/d/run.ldf", "/d/run_1.ldf"} << "/d/run_2.ldf";
    QTest::newRow("base from last saved") << "/d/name_1.ldf" << QStringList{"/d/name_1.ldf"} << "/d/name_1_1.ldf";
    QTest::newRow("other extension kept") << "/d/data.txt" << QStringList{"/d/data.txt"} << "/d/data.txt_1.ldf";
    QTest::newRow("short name") << "ab" << QStringList{"ab"} << "ab_1.ldf";
    QTest::newRow("upper case extension") << "x.LDF" << QStringList{} << "x.LDF_1.ldf";
}

void TestAppText::nonOverwrite()
{
    QFETCH(QString, name);
    QFETCH(QStringList, existing);
    QFETCH(QString, expected);
    const QSet<QString> set(existing.begin(), existing.end());
    QCOMPARE(AppText::nonOverwriteName(name, [&](const QString& n) { return set.contains(n); }), expected);
}

void TestAppText::folderAndTitle()
{
    QCOMPARE(AppText::folderOf("/a/b/c.ldf"), QString("/a/b"));
    QCOMPARE(AppText::folderOf("C:\\x\\y.ldf"), QString("C:\\x"));
    QCOMPARE(AppText::folderOf("plain.ldf"), QString("plain.ldf"));
    QCOMPARE(AppText::baseTitle("/a/b/c.ldf"), QString("c.ldf"));
    QCOMPARE(AppText::baseTitle("c.ldf"), QString("c.ldf"));
}

void TestAppText::drop_data()
{
    QTest::addColumn<QList<QUrl>>("urls");
    QTest::addColumn<int>("state");
    QTest::addColumn<bool>("accepted");
    const QUrl ldf = QUrl::fromLocalFile("/tmp/a.ldf");
    QTest::newRow("one ldf idle") << QList<QUrl>{ldf} << 0 << true;
    QTest::newRow("busy") << QList<QUrl>{ldf} << 4 << false;
    QTest::newRow("two files") << QList<QUrl>{ldf, ldf} << 0 << false;
    QTest::newRow("upper case") << QList<QUrl>{QUrl::fromLocalFile("/tmp/a.LDF")} << 0 << false;
    QTest::newRow("web url") << QList<QUrl>{QUrl("http://x/a.ldf")} << 0 << false;
    QTest::newRow("none") << QList<QUrl>{} << 0 << false;
}

void TestAppText::drop()
{
    QFETCH(QList<QUrl>, urls);
    QFETCH(int, state);
    QTEST(AppText::acceptsDrop(urls, state), "accepted");
}

void TestAppText::resultsTexts()
{
    QCOMPARE(AppText::valueText(NAN), QString("<font color=red>---</font>"));
    QCOMPARE(AppText::valueText(1234.5), QString("<font color=red>1.23e+03</font>"));
    QCOMPARE(AppText::valueText(2.5), QString("<font color=red>2.5</font>"));
    QCOMPARE(AppText::wholeValueText(17.6), QString("<font color=red>18</font>"));
    QCOMPARE(AppText::errorText(NAN, 1.0), QString("<font color=green>---</font>"));
    QCOMPARE(AppText::errorText(0.0, 1.0), QString("<font color=green>---</font>"));
    QCOMPARE(AppText::errorText(2.0, NAN), QString("<font color=green>---</font>"));
    QCOMPARE(AppText::errorText(-2.0, 0.25), QString("<font color=green>13 %</font>"));
    QCOMPARE(AppText::errorText(8.26983, 0.00141), QString("<font color=green>0.017 %</font>"));
    QCOMPARE(AppText::errorText(5.0, 1e-6), QString("<font color=green>&lt; 0.001 %</font>"));
    QCOMPARE(AppText::traceNumberText(7), QString("<font color=magenta>7</font>"));
    QCOMPARE(AppText::processTimeText(250), QString("250 [<span>&mu;</span>s]"));
    QCOMPARE(AppText::processTimeText(2500), QString("2.5 [ms]"));
    QCOMPARE(AppText::processTimeText(2.5e6), QString("2.50 [s]"));
}

void TestAppText::resultsTextsDecimalComma()
{
    const QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QCOMPARE(AppText::valueText(2.5), QString("<font color=red>2.5</font>"));
    QCOMPARE(AppText::errorText(-2.0, 0.25), QString("<font color=green>13 %</font>"));
    QCOMPARE(AppText::errorText(8.26983, 0.00141), QString("<font color=green>0.017 %</font>"));
    int spinner = 1;
    QCOMPARE(AppText::syncText(1.5e6, spinner), QString("<font color=white> Fsync 1.500 MHz "));
    QLocale::setDefault(saved);
}

void TestAppText::eepfRange_data()
{
    QTest::addColumn<double>("top");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("below 1e9") << 5e8 << 1e10 << 1e14;
    QTest::newRow("at the floor") << 1e9 << 1e10 << 1e14;
    QTest::newRow("zero") << 0.0 << 1e10 << 1e14;
    QTest::newRow("negative") << -3.0 << 1e10 << 1e14;
    QTest::newRow("nan") << double(NAN) << 1e10 << 1e14;
    QTest::newRow("inf") << double(INFINITY) << 1e10 << 1e14;
    QTest::newRow("1e15 decade") << 2e15 << 1e12 << 1e16;
    QTest::newRow("n exactly 10") << 2e9 << 1e6 << 1e10;
    QTest::newRow("typical") << 3.2e12 << 1e10 << 1e14;
}

void TestAppText::eepfRange()
{
    QFETCH(double, top);
    const auto r = AppText::eepfRange(top);
    QTEST(r.first, "low");
    QTEST(r.second, "high");
}

void TestAppText::trendRange()
{
    const auto r = AppText::trendXRange(0.0, 10.0, 5);
    const double m = (10.0 / 5 + 1e-7) * 0.05;
    QCOMPARE(r.first, -m);
    QCOMPARE(r.second, 10.0 + m);
}

void TestAppText::widgetStates()
{
    WidgetStates all;
    all.calibrate = all.clean = all.scan = all.move = true;
    all.bannerClean = all.bannerScan = all.bannerNew = true;

    WidgetStateInput in;
    WidgetStates s = computeWidgetStates(in, all);
    QVERIFY(!s.calibrate && !s.clean && !s.scan && !s.move && !s.bannerClean && !s.bannerScan && !s.bannerNew);

    in.connected = true;
    s = computeWidgetStates(in, WidgetStates());
    // Move is reachable whenever connected and idle, before the drive is initialised.
    QVERIFY(s.calibrate && s.clean && s.scan && s.move && s.bannerClean && s.bannerScan && s.bannerNew);

    in.calibrateChecked = true;
    s = computeWidgetStates(in, all);
    QVERIFY(s.calibrate && !s.clean && !s.scan && !s.move && !s.bannerClean && !s.bannerScan && s.bannerNew);

    in.calibrateChecked = false;
    in.cleanChecked = true;
    s = computeWidgetStates(in, all);
    QVERIFY(s.clean && !s.calibrate && !s.scan && !s.move);

    in.cleanChecked = false;
    in.scanChecked = true;
    s = computeWidgetStates(in, all);
    QVERIFY(s.scan && !s.calibrate && !s.clean && !s.move && !s.bannerClean && s.bannerScan);

    in.batchJob = true;
    s = computeWidgetStates(in, all);
    QVERIFY(!s.calibrate && !s.clean && !s.scan && !s.move);
}

void TestAppText::stateTexts()
{
    QCOMPARE(AppState::text(0), QString("Idle"));
    QCOMPARE(AppState::text(4), QString("Calibrating VESK Device..."));
    QCOMPARE(AppState::text(13), QString("Waiting for relaxation time to expire..."));
    QVERIFY(AppState::text(14).isEmpty());
    QVERIFY(AppState::text(-1).isEmpty());
    QCOMPARE(AppInfo::version(), QString("2.7.0"));
}

QTEST_GUILESS_MAIN(TestAppText)
// An installed program works in the user's data folder, seeded once, finds its
// guide beside its documentation and starts file dialogs outside its folder.
void TestAppText::installedFolders()
{
    // A build tree (the marker is there) works in place; anything else in the user's folder.
    auto marker = [](const QString& d) { return d == QLatin1String("/src/build/bin"); };
    QCOMPARE(AppText::workingFolder("/src/build/bin", "/home/u/.local/share/Q", marker), QString("/src/build/bin"));
    QCOMPARE(AppText::workingFolder("/usr/bin", "/root/.local/share/Q", marker), QString("/root/.local/share/Q"));

    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString shipped = tmp.filePath("shipped"), work = tmp.filePath("work");
    QVERIFY(QDir().mkpath(shipped) && QDir().mkpath(work));
    QFile table(shipped + "/eedf.txt");
    QVERIFY(table.open(QIODevice::WriteOnly));
    table.write("Energy;Resolution\n1;0.5\n");
    table.close();
    table.setPermissions(QFileDevice::ReadOwner);
    QVERIFY(AppText::seedWorkingFolder(work, shipped, {"eedf.txt", "absent.txt"}).isEmpty());
    QFile copy(work + "/eedf.txt");
    QVERIFY(copy.open(QIODevice::ReadWrite)); // the user's copy is writable
    QCOMPARE(copy.readAll(), QByteArray("Energy;Resolution\n1;0.5\n"));
    copy.resize(0);
    copy.write("edited");
    copy.close();
    // A second start keeps the user's edits.
    QVERIFY(AppText::seedWorkingFolder(work, shipped, {"eedf.txt"}).isEmpty());
    QVERIFY(copy.open(QIODevice::ReadOnly));
    QCOMPARE(copy.readAll(), QByteArray("edited"));

    QCOMPARE(AppText::guideCandidates("G.pdf", "/home/u/w", "/usr/bin", "../share/doc/q"),
             QStringList({"/home/u/w/G.pdf", "/usr/bin/G.pdf", "/usr/share/doc/q/G.pdf"}));
    QCOMPARE(AppText::guideCandidates("G.pdf", "/b/bin", "/b/bin", "../share/doc/q"),
             QStringList({"/b/bin/G.pdf", "/b/share/doc/q/G.pdf"}));

    const QString docs = tmp.filePath("work");
    QCOMPARE(AppText::dialogStartFolder("./", docs), docs);
    QCOMPARE(AppText::dialogStartFolder(QString(), docs), docs);
    QCOMPARE(AppText::dialogStartFolder(tmp.path(), docs), tmp.path());
    QCOMPARE(AppText::dialogStartFolder(tmp.filePath("gone"), docs), docs);
    // A home without a documents folder: home, never the missing folder.
    QCOMPARE(AppText::dialogStartFolder(QString(), tmp.filePath("Documents")), QDir::homePath());
}

void TestAppText::saveNames_data()
{
    QTest::addColumn<QString>("sessionFile");
    QTest::addColumn<QString>("lastFolder");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("saved");
    const QString t = m_tmp.path();
    QTest::newRow("saved session") << t + "/run1.ldf" << t << t + "/run1.ldf" << t + "/run2" << t + "/run2.ldf";
    QTest::newRow("new session") << QString() << t << t + "/" << t + "/run.ldf" << t + "/run.ldf";
    QTest::newRow("missing folder") << QString() << t + "/Documents" << "/home/x/" << "/home/x/a.csv"
                                    << "/home/x/a.csv";
    QTest::newRow("stored default") << QString() << "./" << "/home/x/" << "/home/x/b." << "/home/x/b.ldf";
    QTest::newRow("dotted folder") << QString() << t << t + "/" << "/a.b/run" << "/a.b/run.ldf";
}

void TestAppText::saveNames()
{
    QFETCH(QString, sessionFile);
    QFETCH(QString, lastFolder);
    QFETCH(QString, start);
    QFETCH(QString, answer);
    QFETCH(QString, saved);
    QCOMPARE(AppText::saveDialogStart(sessionFile, lastFolder, "/home/x"), start);
    QCOMPARE(AppText::withSuffix(answer, "ldf"), saved);
}

#include "tst_apptext.moc"
