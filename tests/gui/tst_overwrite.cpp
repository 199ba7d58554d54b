// Nothing the user named is replaced without a question: every place that
// writes a file from a save dialog (and adds its suffix after it) asks when
// the final name exists; No keeps the file and asks for another name. Export
// Graph writes the format its file name says.
#include "EEDF_Dialog.h"
#include "GraphExport.h"
#include "MainWin.h"
#include "MainWinFixture.h"
#include "PlotManager.h"
#include "SessionFill.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QtTest>
#include <functional>

class TestOverwrite : public QObject, MainWinFixture::Bench<>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init() { installPrompter(); }
    void cleanup() { tearDown(); }
    void asksBeforeReplacing_data();
    void asksBeforeReplacing();
    void graphFormatFollowsTheName_data();
    void graphFormatFollowsTheName();

private:
    QString writeOld(const QString& name);
    // Export Graph's dialog, answered with a typed name and a chosen format.
    void answerGraphDialog(const QString& typed, GraphExport::Format chosen);
};

QString TestOverwrite::writeOld(const QString& name)
{
    const QString path = m_dir.filePath(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly | QIODevice::Truncate);
    f.write("old");
    return path;
}

void TestOverwrite::answerGraphDialog(const QString& typed, GraphExport::Format chosen)
{
    m_prompter->dialogHandlers << [typed, chosen](QDialog* d) {
        auto* dlg = qobject_cast<GraphExportDialog*>(d);
        if (!dlg)
            return int(QDialog::Rejected);
        dlg->formatBox()->setCurrentIndex(dlg->formatBox()->findData(int(chosen)));
        dlg->fileEdit()->setText(typed);
        return int(QDialog::Accepted);
    };
}

namespace {
QByteArray contents(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
} // namespace

// Each place with a name typed without its suffix over an existing file.
void TestOverwrite::asksBeforeReplacing_data()
{
    QTest::addColumn<QString>("place");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("written");
    QTest::addColumn<int>("answer");
    const struct {
        const char* place;
        const char* typed;
        const char* written;
    } places[] = {{"save as", "run", "run.ldf"},
                  {"spread sheet", "table", "table.csv"},
                  {"hdf5", "data.h5", "data.h5"},
                  {"graph", "figure", "figure.png"},
                  {"graph, suffix typed", "figure.svg", "figure.svg"},
                  {"eepf table", "eedf.eepfTable", "eedf.eepfTable"}};
    for (const auto& p : places)
        for (int answer : {int(QMessageBox::No), int(QMessageBox::Yes)})
            QTest::addRow("%s, %s", p.place, answer == QMessageBox::Yes ? "replaced" : "kept")
                << p.place << p.typed << p.written << answer;
}

void TestOverwrite::asksBeforeReplacing()
{
    QFETCH(QString, place);
    QFETCH(QString, typed);
    QFETCH(QString, written);
    QFETCH(int, answer);
    const QString path = writeOld(written);
    m_prompter->answers << QMessageBox::StandardButton(answer);
    MainWin w;
    w.show();
    QMetaObject::invokeMethod(&w, "startNewSession");
    PlotManager* pm = w.currentSession();
    fillSession(*pm, 1, 40);
    QMetaObject::invokeMethod(&w, "sessionChange", Q_ARG(QMdiSubWindow*, w.mdiArea()->activeSubWindow()));
    const QString name = m_dir.filePath(typed);
    // After a No the dialog comes again; the test then cancels it.
    if (place == "save as") {
        m_prompter->saveNames << name;
        QCOMPARE(pm->saveAsSession(), answer == QMessageBox::Yes);
    } else if (place == "spread sheet" || place == "hdf5") {
        m_prompter->dialogHandlers << [](QDialog* d) {
            d->accept();
            return int(QDialog::Accepted);
        };
        m_prompter->saveNames << name;
        w.action(place == "hdf5" ? "HDF5 (*.h5)..." : "Spread Sheet (*.csv)...")->trigger();
        QCOMPARE(m_prompter->fileCaptions.size(), answer == QMessageBox::Yes ? 1 : 2);
    } else if (place.startsWith("graph")) {
        answerGraphDialog(name, GraphExport::ePng);
        GraphExport::Options last;
        QCOMPARE(GraphExport::exportWithDialog(pm, pm->shownPlots(), last), answer == QMessageBox::Yes);
        QCOMPARE(m_prompter->dialogTitles.size(), answer == QMessageBox::Yes ? 1 : 2);
    } else {
        EEDF_Dialog dlg;
        dlg.setTable(EepfTable::defaultTable());
        m_prompter->saveNames << name;
        dlg.saveButton()->click();
    }
    QCOMPARE(m_prompter->texts().value(0),
             QString("%1 already exists.\nDo you want to replace it?").arg(QDir::toNativeSeparators(path)));
    if (answer == QMessageBox::Yes)
        QVERIFY(contents(path) != "old");
    else
        QCOMPARE(contents(path), QByteArray("old"));
    pm->setModified(false);
}

// The format comes from a typed suffix; a name without a known one gets the
// chosen format's suffix.
void TestOverwrite::graphFormatFollowsTheName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("chosen");
    QTest::addColumn<QString>("written");
    QTest::addColumn<QByteArray>("head");
    QTest::newRow("svg typed, png chosen") << "x.svg" << int(GraphExport::ePng) << "x.svg" << QByteArray("<?xml");
    QTest::newRow("png typed, svg chosen") << "x.png" << int(GraphExport::eSvg) << "x.png" << QByteArray("\x89PNG");
    QTest::newRow("PDF typed, png chosen") << "x.PDF" << int(GraphExport::ePng) << "x.PDF" << QByteArray("%PDF");
    QTest::newRow("none typed, svg chosen") << "x" << int(GraphExport::eSvg) << "x.svg" << QByteArray("<?xml");
    QTest::newRow("other typed, pdf chosen") << "x.jpg" << int(GraphExport::ePdf) << "x.jpg.pdf" << QByteArray("%PDF");
}

void TestOverwrite::graphFormatFollowsTheName()
{
    QFETCH(QString, typed);
    QFETCH(int, chosen);
    QFETCH(QString, written);
    QFETCH(QByteArray, head);
    QTemporaryDir dir;
    PlotManager pm;
    pm.show();
    fillSession(pm, 1);
    answerGraphDialog(dir.filePath(typed), GraphExport::Format(chosen));
    GraphExport::Options last;
    QVERIFY(GraphExport::exportWithDialog(&pm, pm.shownPlots(), last));
    QCOMPARE(last.fileName, dir.filePath(written));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{written});
    QVERIFY(contents(dir.filePath(written)).startsWith(head));
    QVERIFY(m_prompter->asked.isEmpty());
}

QTEST_MAIN(TestOverwrite)
#include "tst_overwrite.moc"
