#include "SessionWindows.h"

#include "Alerts.h"
#include "AppState.h"
#include "AppText.h"
#include "ConfigParamPanel.h"
#include "DataAnalyzer.h"
#include "ExportOptions.h"
#include "Hdf5Export.h"
#include "ImportCurves.h"
#include "MainActions.h"
#include "PlotManager.h"
#include "Prompter.h"
#include "RIRavaVCntrl.h"
#include "SessionExport.h"
#include "StatusLine.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>

namespace {
QString title()
{
    return QString::fromLatin1(AppInfo::Title);
}
} // namespace

SessionWindows::SessionWindows(Needs needs, QWidget* areaParent) : QObject(nullptr), m_needs(std::move(needs))
{
    // Every session starts from a copy of the program-wide pair: it is read
    // before the first session object exists.
    m_singleConfig.readSettings();
    m_doubleConfig.readSettings();
    m_current = newSessionObject();
    m_mdi = new QMdiArea(areaParent);
    m_mdi->setViewMode(QMdiArea::TabbedView);
    m_mdi->setTabShape(QTabWidget::Triangular);
    m_mdi->setTabPosition(QTabWidget::South);
    m_mdi->setActivationOrder(QMdiArea::CreationOrder);
    m_mdi->setBackground(QColor(40, 52, 72));
    connect(m_mdi, &QMdiArea::subWindowActivated, this, &SessionWindows::activated);
}

PlotManager* SessionWindows::shown() const
{
    return m_current && m_sessions.contains(m_current) ? m_current : nullptr;
}

QList<PlotManager*> SessionWindows::all() const
{
    QList<PlotManager*> all = m_sessions;
    if (m_current && !all.contains(m_current))
        all.append(m_current); // the hidden session before the first connect
    return all;
}

ConfigParamPanel* SessionWindows::configPanel(PlotManager* pm)
{
    return pm ? pm->findChild<ConfigParamPanel*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

ConfigParam& SessionWindows::activeConfig(PlotManager* pm)
{
    if (pm)
        return pm->activeConfig();
    return m_singleConfig;
}

void SessionWindows::setAdvanced(bool on)
{
    m_advanced = on;
    if (m_current)
        m_current->setAdvanced(m_advanced);
    for (PlotManager* pm : m_sessions)
        pm->setAdvanced(m_advanced);
    for (PlotManager* pm : all())
        if (ConfigParamPanel* p = configPanel(pm))
            p->setAdvancedMode(m_advanced);
}

void SessionWindows::setRailLength(double mm)
{
    if (!(mm > 0))
        return;
    m_railLength = mm;
    for (PlotManager* pm : all())
        if (ConfigParamPanel* p = configPanel(pm))
            p->setRailLength(mm);
}

void SessionWindows::readSettings(const QSettings& s)
{
    // File dialogs start where the user last was, else in the documents folder.
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    m_exportFileName = AppText::dialogStartFolder(s.value("exportFileName").toString(), docs);
    m_dialogPath = AppText::dialogStartFolder(s.value("dialogPath").toString(), docs);
    m_openFileName = AppText::dialogStartFolder(s.value("openFileName").toString(), docs);
}

void SessionWindows::writeSettings(QSettings& s) const
{
    s.setValue("exportFileName", m_exportFileName);
    s.setValue("dialogPath", m_dialogPath);
    s.setValue("openFileName", m_openFileName);
}

PlotManager* SessionWindows::newSessionObject()
{
    auto* pm = new PlotManager(m_needs.window, m_advanced);
    pm->hide();
    pm->setDialogPathStore(&m_dialogPath);
    pm->seedConfigs(m_singleConfig, m_doubleConfig);
    auto* panel = new ConfigParamPanel(pm);
    panel->setController(m_needs.ctrl, m_needs.controllerBusy);
    panel->setCurrentRanges(m_needs.ctrl->getScannerDescriptor()->iRange);
    panel->setAdvancedMode(m_advanced);
    if (m_railLength > 0)
        panel->setRailLength(m_railLength);
    // Asked on every access: the record the session's probe mode selects now.
    panel->setSource([pm] { return &pm->activeConfig(); });
    pm->setConfigPanel(panel);
    StatusLine* status = m_needs.status;
    connect(pm, &PlotManager::titleChanged, this, &SessionWindows::updateTitle);
    connect(pm, &PlotManager::statusMessage, this, [status](const QString& text) { status->show(text); });
    connect(pm, &PlotManager::saved, this, [status](const QString& file) {
        status->show(QStringLiteral("Saved %1").arg(QDir::toNativeSeparators(file)));
    });
    connect(pm, &PlotManager::cursorReadout, this, [status](const QString& text) { status->cursorReadout(text); });
    return pm;
}

void SessionWindows::updateTitle()
{
    // The shown session's file name and modified mark, as the session window shows them.
    PlotManager* pm = shown();
    m_needs.window->setWindowTitle(pm ? QStringLiteral("%1[*] - %2").arg(pm->sessionTitle(), title()) : title());
    m_needs.window->setWindowModified(pm && pm->isModified());
}

void SessionWindows::updateTabBar()
{
    if (QTabBar* bar = m_mdi->findChild<QTabBar*>())
        bar->setVisible(m_openSessions > 1);
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        w->showMaximized();
}

PlotManager* SessionWindows::create()
{
    PlotManager* pm = m_current;
    if (!pm || m_sessions.contains(pm))
        pm = newSessionObject();
    pm->setAdvanced(m_advanced);
    m_sessions.append(pm);
    m_current = pm;
    ++m_sessionCounter;
    pm->setSessionTitle(QStringLiteral("Session %1").arg(m_sessionCounter));
    QMdiSubWindow* sub = m_mdi->addSubWindow(pm);
    sub->setWindowIcon(pm->windowIcon());
    connect(pm, &QWidget::windowIconChanged, sub, &QWidget::setWindowIcon);
    pm->show();
    sub->show();
    ++m_openSessions;
    connect(pm, &PlotManager::close, this, &SessionWindows::close, Qt::UniqueConnection);
    updateTabBar();
    m_mdi->setActiveSubWindow(sub);
    return pm;
}

void SessionWindows::close(PlotManager* pm)
{
    if (!pm || !m_sessions.contains(pm))
        return;
    // A running job may still hand data to this session: it ends first.
    if (pm->isLive())
        emit liveSessionClosing(pm == m_current);
    // The next new session starts from what this one leaves behind, as the
    // next program start does from the store it writes when destroyed.
    m_singleConfig = pm->configs().single();
    m_doubleConfig = pm->configs().doubleProbe();
    --m_openSessions;
    m_sessions.removeAll(pm);
    QMdiSubWindow* sub = nullptr;
    for (QMdiSubWindow* w : m_mdi->subWindowList())
        if (w->widget() == pm)
            sub = w;
    disconnect(pm, nullptr, this, nullptr);
    if (sub) {
        m_mdi->removeSubWindow(sub);
        sub->hide();
        sub->deleteLater(); // takes the session window with it
    } else {
        pm->deleteLater();
    }
    if (m_current == pm || !m_current) {
        m_current = m_sessions.isEmpty() ? newSessionObject() : m_sessions.last();
    }
    updateTabBar();
    activated(m_mdi->activeSubWindow());
    emit widgetStatesChanged();
}

void SessionWindows::activated(QMdiSubWindow* window)
{
    for (PlotManager* pm : m_sessions)
        pm->hideToolWindows();
    if (m_current)
        m_current->hideToolWindows();
    PlotManager* pm = window ? qobject_cast<PlotManager*>(window->widget()) : nullptr;
    if (pm && m_sessions.contains(pm))
        m_current = pm;
    emit currentChanged();
    const bool hasData = pm && pm->data()->scanCount() > 0;
    updateTitle();
    const MainActions& a = *m_needs.actions;
    a.save->setEnabled(hasData);
    a.saveAs->setEnabled(hasData);
    a.exportCsv->setEnabled(hasData);
    a.exportHdf5->setEnabled(hasData);
    for (QAction* act : {a.exportGraph, a.printGraph, a.copyGraph, a.copyResults})
        act->setEnabled(pm && m_sessions.contains(pm));
}

bool SessionWindows::openFile(const QString& fileName, SessionFile::ReadReport* report)
{
    PlotManager* pm = create();
    if (!pm->load(fileName, report)) {
        close(pm);
        return false;
    }
    activated(m_mdi->activeSubWindow());
    return true;
}

void SessionWindows::open()
{
    PlotManager* pm = create();
    const QString name = Prompter::instance().openFileName(m_needs.window, "Open File", m_openFileName,
                                                           "Langmuir Data Files (*.ldf);;All Files (*.*)");
    if (name.isEmpty()) {
        close(pm);
        return;
    }
    m_openFileName = AppText::folderOf(name);
    if (!pm->load(name)) {
        close(pm);
        return;
    }
    activated(m_mdi->activeSubWindow());
}

void SessionWindows::importCurves()
{
    QWidget* w = m_needs.window;
    const QStringList files = Prompter::instance().openFileNames(
        w, QStringLiteral("Import Curves"), m_openFileName,
        QStringLiteral("IV Text Files (*.csv *.txt *.dat *.tsv);;All Files (*)"));
    if (files.isEmpty())
        return;
    m_openFileName = AppText::folderOf(files.first());
    ImportCurvesDialog options(w);
    if (Prompter::instance().execDialog(&options) != QDialog::Accepted)
        return;
    PlotManager* pm = create();
    pm->setSwProbeMode(options.probeMode());
    QStringList notes, failures;
    if (ivtext::importEach(files, options.options(), *pm->data(), notes, failures) == 0) {
        close(pm);
        Prompter::critical(w, title(), QStringLiteral("No curve could be imported:\n") + failures.join(QLatin1Char('\n')));
        return;
    }
    pm->useImportSettings(options.noiseRobust());
    pm->analyseSession();
    activated(m_mdi->activeSubWindow());
    // Everything that went wrong at once: the files left out, then the notes.
    QStringList lines;
    if (!failures.isEmpty())
        lines << QStringLiteral("Not imported:") << failures;
    for (const QString& n : notes)
        lines << n + QStringLiteral("; --sort sorts the samples");
    if (!lines.isEmpty())
        Prompter::warning(w, title(), lines.join(QLatin1Char('\n')));
}

void SessionWindows::save()
{
    if (PlotManager* pm = shown())
        pm->saveSession();
}

void SessionWindows::saveAs()
{
    if (PlotManager* pm = shown())
        pm->saveAsSession();
}

void SessionWindows::onShown(void (PlotManager::*f)())
{
    if (PlotManager* pm = shown())
        (pm->*f)();
}

void SessionWindows::copy()
{
    PlotManager* pm = shown();
    if (!pm)
        return;
    if (pm->resultsHaveFocus())
        pm->copyResults();
    else
        QApplication::clipboard()->setText(pm->clipboardText());
}

void SessionWindows::exportCsv()
{
    PlotManager* pm = shown();
    if (!pm || !m_mdi->activeSubWindow())
        return;
    QWidget* w = m_needs.window;
    ExportOptions options(w, pm->isDoubleProbeSession());
    if (Prompter::instance().execDialog(&options) != QDialog::Accepted)
        return;
    const ExportSettings settings = options.settings();
    for (;;) {
        const QString answer =
            Prompter::instance().saveFileName(w, "Export File", m_exportFileName, "Spread Sheet Documents (*.csv)");
        if (answer.isEmpty())
            return;
        const QString name = AppText::withSuffix(answer, QStringLiteral("csv"));
        m_exportFileName = AppText::folderOf(name);
        if (!Prompter::mayReplace(w, name))
            continue;
        QString error;
        const SessionExport::FileResult r = SessionExport::writeFile(*pm->data(), settings, name, &error);
        if (r == SessionExport::FileResult::OpenFailed) {
            m_needs.alerts->add(AlertPrefix::ExportData,
                                QStringLiteral("Failed to open file '%1' for writing (%2).").arg(name, error));
            continue;
        }
        if (r == SessionExport::FileResult::WriteFailed) {
            m_needs.alerts->add(AlertPrefix::ExportData,
                                QStringLiteral("Failed to close file '%1' (%2).").arg(name, error));
            continue;
        }
        return;
    }
}

void SessionWindows::exportHdf5()
{
    // Asks again after a file that cannot be written, as the spreadsheet export does.
    PlotManager* pm = shown();
    if (!pm || !m_mdi->activeSubWindow())
        return;
    QWidget* w = m_needs.window;
    for (;;) {
        const QString name = Prompter::instance().saveFileName(w, "Export File", m_exportFileName, "HDF5 (*.h5)");
        if (name.isEmpty())
            return;
        m_exportFileName = AppText::folderOf(name);
        if (!Prompter::mayReplace(w, name))
            continue;
        QString error;
        if (Hdf5Export::writeFile(*pm->data(), name, &error))
            return;
        m_needs.alerts->add(AlertPrefix::ExportData,
                            QStringLiteral("Failed to write file '%1' (%2).").arg(name, error));
    }
}
