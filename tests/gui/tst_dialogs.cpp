// The EEPF table dialog, the analysis settings widget and the export options.
#include "EEDF_Dialog.h"
#include "ExportOptions.h"
#include "LangmuirSettingsWidget.h"
#include "PrompterFixture.h"
#include "ScriptedPrompter.h"
#include "TableModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

namespace {
EepfTable table(std::initializer_list<std::pair<double, double>> rows)
{
    EepfTable t;
    for (const auto& r : rows)
        t.rows.append(EepfRow{r.first, r.second});
    return t;
}

void typeInto(QLineEdit* e, const QString& text)
{
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
    emit e->editingFinished();
}
} // namespace

class TestDialogs : public QObject, PrompterFixture::Prompted<>
{
    Q_OBJECT
private slots:
    void initTestCase() { isolate(); }
    void init();
    void cleanup();
    void eepfRemovesExactlySelectedRows();
    void eepfAddAndDuplicate();
    void eepfReadOnly();
    void eepfDefaultTableFile();
    void eepfLoadError();
    void settingsRevertOutOfRange();
    void settingsPressureUnits();
    void settingsResistanceAndApply();
    void settingsDefaultsKeepCrop();
    void settingsCancelKeepsCompensation();
    void settingsOptionBoxes_data();
    void settingsOptionBoxes();
    void settingsDecimalCommaIonMass();
    void exportRules();
    void exportDoubleProbe();
    void exportStoresChoices();

};

void TestDialogs::init()
{
    installPrompter();
    QLocale::setDefault(QLocale::c());
}

void TestDialogs::cleanup()
{
    tearDown();
    QLocale::setDefault(QLocale::c());
}

void TestDialogs::eepfRemovesExactlySelectedRows()
{
    EEDF_Dialog dlg;
    dlg.setTable(table({{1, 0.5}, {2, 0.5}, {3, 1}, {4, 1}, {5, 1}}));
    QVERIFY(!dlg.removeButton()->isEnabled());
    QItemSelectionModel* sel = dlg.view()->selectionModel();
    sel->select(dlg.model()->index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel->select(dlg.model()->index(3, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY(dlg.removeButton()->isEnabled());
    dlg.removeButton()->click();
    // Rows 1 and 3 (energies 2 and 4) go; a gap in the selection is respected.
    QCOMPARE(dlg.table(), table({{1, 0.5}, {3, 1}, {5, 1}}));
    QVERIFY(!dlg.removeButton()->isEnabled());
}

void TestDialogs::eepfAddAndDuplicate()
{
    EEDF_Dialog dlg;
    dlg.setTable(table({{26, 3}, {29, 3}}));
    dlg.addButton()->click();
    dlg.addButton()->click();
    QCOMPARE(dlg.table().rows.last(), (EepfRow{35, 3}));
    QCOMPARE(dlg.table().rows.at(2), (EepfRow{32, 3}));
    const EepfTable before = dlg.table();
    QVERIFY(!dlg.model()->setData(dlg.model()->index(0, 0), QString("29")));
    QCOMPARE(dlg.table(), before);
    QCOMPARE(m_prompter->asked.size(), 1);
    QCOMPARE(m_prompter->asked.first().title, QString("EEPF Table Error"));
    QCOMPARE(m_prompter->asked.first().text, QString("An entry for this energy level already exists."));
    QCOMPARE(dlg.removeButton()->toolTip(), QString("Revome selected rows from table."));
    dlg.clearTable();
    QCOMPARE(dlg.table().size(), 0);
}

void TestDialogs::eepfReadOnly()
{
    EEDF_Dialog dlg;
    dlg.setTable(table({{1, 1}, {2, 1}}));
    dlg.setEditable(false);
    QVERIFY(!dlg.loadButton()->isEnabled());
    QVERIFY(!dlg.addButton()->isEnabled());
    dlg.view()->selectRow(0);
    QVERIFY(!dlg.removeButton()->isEnabled());
    QCOMPARE(dlg.buttonBox()->standardButtons(), QDialogButtonBox::StandardButtons(QDialogButtonBox::Close));
    QVERIFY(!(dlg.model()->flags(dlg.model()->index(0, 0)) & Qt::ItemIsEditable));
    dlg.setEditable(true);
    QCOMPARE(dlg.buttonBox()->standardButtons(), QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
}

void TestDialogs::eepfDefaultTableFile()
{
    const QString path = m_dir.filePath("eedf.txt");
    QFile::remove(path);
    // Missing file: the built-in table is offered; rejecting writes nothing.
    EepfTable seen;
    m_prompter->dialogHandlers << [&](QDialog* d) {
        seen = static_cast<EEDF_Dialog*>(d)->table();
        return int(QDialog::Rejected);
    };
    QVERIFY(!EEDF_Dialog::editDefaultTable(nullptr, path));
    QCOMPARE(seen, EepfTable::defaultTable());
    QVERIFY(!QFile::exists(path));
    QCOMPARE(m_prompter->dialogTitles.last(), QString("Edit Default EEPF Table"));
    // Accepted after an edit: written back and read again.
    m_prompter->dialogHandlers << [](QDialog* d) {
        auto* dlg = static_cast<EEDF_Dialog*>(d);
        dlg->setTable(table({{1, 0.5}, {2.5, 1}}));
        return int(QDialog::Accepted);
    };
    QVERIFY(EEDF_Dialog::editDefaultTable(nullptr, path));
    EepfTable back;
    QVERIFY(back.readFile(path).isEmpty());
    QCOMPARE(back, table({{1, 0.5}, {2.5, 1}}));
    // Writing into a place that cannot take the file keeps no partial file and says why.
    m_prompter->dialogHandlers << [](QDialog*) { return int(QDialog::Accepted); };
    QVERIFY(!EEDF_Dialog::editDefaultTable(nullptr, m_dir.filePath("none/eedf.txt")));
    QCOMPARE(m_prompter->asked.last().title, QString("EEPF File Save Error"));
}

void TestDialogs::eepfLoadError()
{
    const QString bad = m_dir.filePath("bad.eepfTable");
    QFile f(bad);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("Energy;Resolution\n");
    f.close();
    EEDF_Dialog dlg;
    dlg.setTable(table({{1, 1}}));
    m_prompter->openNames << bad;
    dlg.loadButton()->click();
    QCOMPARE(m_prompter->asked.last().title, QString("EEPF File Load Error"));
    QCOMPARE(m_prompter->asked.last().text, QString("Unable to load EEPF from file."));
    QCOMPARE(dlg.table(), table({{1, 1}}));
}

void TestDialogs::settingsRevertOutOfRange()
{
    LangmuirSettingsWidget w;
    w.show();
    LangmuirSettings s;
    s.probeRadius = 0.0005;
    w.load(s);
    QLineEdit* r = w.field(LangmuirSettingsWidget::eRadius);
    QCOMPARE(r->text(), QString("0.5"));
    typeInto(r, "1.5");
    QCOMPARE(r->text(), QString("1.5"));
    typeInto(r, "20");
    QCOMPARE(r->text(), QString("1.5")); // back to the last acceptable text
    r->setText("junk"); // no undo step left: the record's value
    emit r->editingFinished();
    QCOMPARE(r->text(), QString("0.5"));
    QLineEdit* mass = w.field(LangmuirSettingsWidget::eIonMass);
    typeInto(mass, "0.5");
    QCOMPARE(mass->text(), QString("40"));
    QVERIFY(r->maxLength() == 12);
    // Within the field's range but unusable for the analysis: refused too.
    QLineEdit* temp = w.field(LangmuirSettingsWidget::eTemperature);
    typeInto(temp, "0");
    QCOMPARE(temp->text(), QString("300"));
    w.applyButton()->click();
    QCOMPARE(w.settings().gasTemperature, 300.0);
}

void TestDialogs::settingsPressureUnits()
{
    LangmuirSettingsWidget w;
    LangmuirSettings s;
    s.pressure = 1.0;
    w.load(s);
    w.pressureUnits()->setCurrentIndex(2);
    QCOMPARE(w.field(LangmuirSettingsWidget::ePressure)->text(), QString("133.322"));
    w.pressureUnits()->setCurrentIndex(1);
    QCOMPARE(w.field(LangmuirSettingsWidget::ePressure)->text(), QString("0.0013332"));
    w.acceptClose();
    QVERIFY(qAbs(w.settings().pressure - 0.0013332 * 750.06) < 1e-12);
    QVERIFY(w.settings().pressure < 1.0);
}

void TestDialogs::settingsResistanceAndApply()
{
    LangmuirSettingsWidget w;
    QSignalSpy res(&w, &LangmuirSettingsWidget::probeResChanged);
    QSignalSpy applied(&w, &LangmuirSettingsWidget::applied);
    w.load(LangmuirSettings());
    w.field(LangmuirSettingsWidget::eResistance)->setText("12.5");
    w.field(LangmuirSettingsWidget::eRadius)->setText("0.25");
    w.field(LangmuirSettingsWidget::eLength)->setText("5");
    w.vpMethod()->setCurrentIndex(1);
    w.applyButton()->click();
    QCOMPARE(w.settings().probeResistance, 12.5);
    QCOMPARE(res.count(), 1);
    QCOMPARE(res.first().first().toInt(), 0); // not a whole number
    QCOMPARE(applied.count(), 1);
    QCOMPARE(w.settings().probeRadius, 0.00025);
    QCOMPARE(w.settings().probeLength, 0.005);
    QVERIFY(w.settings().bUse2ndDerivativeZeroVp);
    w.field(LangmuirSettingsWidget::eResistance)->setText("20");
    w.applyButton()->click();
    QCOMPARE(res.last().first().toInt(), 20);
    w.applyButton()->click(); // unchanged: no signal
    QCOMPARE(res.count(), 2);
}

void TestDialogs::settingsDefaultsKeepCrop()
{
    LangmuirSettingsWidget w;
    LangmuirSettings s;
    s.ionMass = 4;
    s.startCrop = 7;
    s.endCrop = 9;
    w.load(s);
    w.pressureUnits()->setCurrentIndex(2);
    w.defaultsButton()->click();
    QCOMPARE(w.settings().startCrop, 7);
    QCOMPARE(w.settings().endCrop, 9);
    QCOMPARE(w.field(LangmuirSettingsWidget::eIonMass)->text(), QString("40"));
    QCOMPARE(w.field(LangmuirSettingsWidget::eRadius)->text(), QString("0.195"));
    QCOMPARE(w.field(LangmuirSettingsWidget::eLength)->text(), QString("10"));
    QCOMPARE(w.field(LangmuirSettingsWidget::ePressure)->text(), QString("0.0024"));
    QCOMPARE(w.field(LangmuirSettingsWidget::eSigmaN)->text(), QString("8.8e-19"));
    QCOMPARE(w.pressureUnits()->currentText(), QString("[Torr]"));
}

// Each option box shows its setting; Apply takes it, Cancel and Defaults do not keep an
// unapplied change.
void TestDialogs::settingsOptionBoxes_data()
{
    QTest::addColumn<int>("which");
    QTest::addColumn<QString>("text");
    QTest::newRow("noise-robust") << 0 << "Noise-robust analysis";
    QTest::newRow("ion density fit") << 1 << "Ion density from the ion branch";
    QTest::newRow("two temperatures") << 2 << "Two electron temperatures";
    QTest::newRow("statistical errors") << 3 << "Statistical errors";
}

void TestDialogs::settingsOptionBoxes()
{
    QFETCH(int, which);
    QFETCH(QString, text);
    LangmuirSettingsWidget w;
    QCheckBox* const boxes[] = {w.noiseRobust(), w.ionDensityFit(), w.twoTemperature(), w.statisticalErrors()};
    QCheckBox* box = boxes[which];
    auto on = [which](const LangmuirSettings& s) {
        const bool states[] = {s.noiseRobust, s.ionDensityMethod == 1, s.twoTemperature, s.statisticalErrors};
        return states[which];
    };
    QCOMPARE(box->text(), text);
    LangmuirSettings s;
    s.noiseRobust = which == 0;
    s.ionDensityMethod = which == 1 ? 1 : 0;
    s.twoTemperature = which == 2;
    s.statisticalErrors = which == 3;
    w.load(s);
    QVERIFY(box->isChecked());
    box->setChecked(false);
    w.cancelButton()->click();
    QVERIFY(on(w.settings()));
    QVERIFY(box->isChecked());
    box->setChecked(false);
    w.applyButton()->click();
    QVERIFY(!on(w.settings()));
    box->setChecked(true);
    w.applyButton()->click();
    QVERIFY(on(w.settings()));
    w.defaultsButton()->click();
    QVERIFY(!on(w.settings()));
    QVERIFY(!box->isChecked());
}

void TestDialogs::settingsCancelKeepsCompensation()
{
    LangmuirSettingsWidget w;
    w.load(LangmuirSettings());
    w.field(LangmuirSettingsWidget::eIonMass)->setText("2");
    w.dcCompensation()->setChecked(true);
    w.cancelButton()->click();
    QCOMPARE(w.field(LangmuirSettingsWidget::eIonMass)->text(), QString("40"));
    QVERIFY(w.settings().correctDC);
    QCOMPARE(w.settings().ionMass, 40.0);
}

void TestDialogs::settingsDecimalCommaIonMass()
{
    // Validated and read in the same locale: "39,95" is 39.95, not 0 or 39.
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    LangmuirSettingsWidget w;
    w.load(LangmuirSettings());
    QCOMPARE(w.field(LangmuirSettingsWidget::eRadius)->text(), QString("0,195"));
    typeInto(w.field(LangmuirSettingsWidget::eIonMass), "39,95");
    QCOMPARE(w.field(LangmuirSettingsWidget::eIonMass)->text(), QString("39,95"));
    w.applyButton()->click();
    QCOMPARE(w.settings().ionMass, 39.95);
    QCOMPARE(w.settings().probeRadius, 0.000195);
}

void TestDialogs::exportRules()
{
    const QString file = m_dir.filePath("rules/ExportSettings.xml");
    ExportOptions dlg(nullptr, false, file);
    QCOMPARE(dlg.windowTitle(), QString("Export Data"));
    QVERIFY(dlg.box(ExportOptions::eHeader)->isChecked());
    QVERIFY(dlg.box(ExportOptions::eIvData)->isChecked());
    QVERIFY(dlg.okEnabled());
    dlg.box(ExportOptions::eDerivative)->setChecked(true);
    dlg.box(ExportOptions::eIvData)->setChecked(false);
    QVERIFY(!dlg.okEnabled()); // header alone is no data
    QVERIFY(!dlg.box(ExportOptions::eDerivative)->isEnabled());
    QVERIFY(dlg.box(ExportOptions::eDerivative)->isChecked()); // state kept
    QVERIFY(!dlg.box(ExportOptions::eElectronCurrent)->isEnabled());
    dlg.box(ExportOptions::eResults)->setChecked(true);
    QVERIFY(dlg.okEnabled());
    dlg.separatorEdit()->clear();
    QVERIFY(!dlg.okEnabled());
    QVERIFY(dlg.box(ExportOptions::eCorrected)->isHidden()); // single-probe session
}

void TestDialogs::exportDoubleProbe()
{
    const QString file = m_dir.filePath("dp/ExportSettings.xml");
    ExportSettings stored;
    stored.eepf = true;
    QVERIFY(stored.save(file));
    ExportOptions dlg(nullptr, true, file);
    QVERIFY(!dlg.box(ExportOptions::eEepf)->isChecked());
    QVERIFY(!dlg.box(ExportOptions::eEepf)->isEnabled());
    QVERIFY(dlg.box(ExportOptions::eDerivative)->isHidden());
    QVERIFY(dlg.box(ExportOptions::eSecondDerivative)->isHidden());
    QVERIFY(dlg.box(ExportOptions::eElectronCurrent)->isHidden());
    QVERIFY(!dlg.box(ExportOptions::eCorrected)->isHidden());
    dlg.accept();
    ExportSettings back;
    QVERIFY(back.load(file));
    QVERIFY(back.eepf); // the stored single-probe choice survives a double-probe export
    QVERIFY(dlg.settings().doubleProbeSession);
}

void TestDialogs::exportStoresChoices()
{
    const QString file = m_dir.filePath("store/ExportSettings.xml");
    {
        ExportOptions dlg(nullptr, false, file);
        dlg.separatorEdit()->setText(",");
        dlg.box(ExportOptions::eResults)->setChecked(true);
        dlg.box(ExportOptions::eErrors)->setChecked(true);
        dlg.box(ExportOptions::eHeader)->setChecked(false);
        dlg.accept();
    }
    ExportOptions again(nullptr, false, file);
    QCOMPARE(again.separatorEdit()->text(), QString(","));
    QVERIFY(again.box(ExportOptions::eResults)->isChecked());
    QVERIFY(again.box(ExportOptions::eErrors)->isChecked());
    QVERIFY(!again.box(ExportOptions::eHeader)->isChecked());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
