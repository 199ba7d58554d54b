#include "ProbeModeSelector.h"

#include "AppImages.h"
#include "AppState.h"
#include "Prompter.h"

#include <QButtonGroup>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QRadioButton>
#include <QSettings>
#include <QVBoxLayout>

ProbeModeSelector::ProbeModeSelector(QWidget* parent, bool doubleProbeAvailable)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setWindowTitle(QString::fromLatin1(AppInfo::Title));
    setModal(true);
    QSettings s;
    s.beginGroup("mainsettings");
    m_hwProbeMode = s.value("hwProbeMode", 0).toInt();
    m_swProbeMode = s.value("swProbeMode", 0).toInt();
    s.endGroup();

    static const char* const captions[5] = {"Without DC Reference", "With DC Reference", "Double Probe",
                                           "Spherical Probe", "Mach Probe"};
    static const AppImages::Probe pics[5] = {AppImages::eSingleNoRef, AppImages::eSingleRef, AppImages::eDouble,
                                             AppImages::eSpherical, AppImages::eMach};
    m_group = new QButtonGroup(this);
    m_group->setExclusive(true);
    auto makeCell = [&](int i) {
        auto* w = new QWidget;
        auto* l = new QVBoxLayout(w);
        auto* pic = new QLabel;
        pic->setPixmap(AppImages::probePicture(pics[i]));
        pic->setAlignment(Qt::AlignCenter);
        m_buttons[i] = new QRadioButton(QString::fromLatin1(captions[i]));
        m_group->addButton(m_buttons[i], i);
        l->addWidget(pic);
        l->addWidget(m_buttons[i], 0, Qt::AlignHCenter);
        connect(m_buttons[i], &QRadioButton::clicked, this, &ProbeModeSelector::selectMode);
        return w;
    };

    auto* heading = new QLabel(tr("<b>Select Probe Type</b>"));
    heading->setAlignment(Qt::AlignCenter);
    auto* single = new QGroupBox(tr("Single Probe"));
    auto* sl = new QHBoxLayout(single);
    sl->addWidget(makeCell(eWithoutDcRef));
    sl->addWidget(makeCell(eWithDcRef));
    auto* others = new QHBoxLayout;
    others->addWidget(makeCell(eDouble));
    others->addWidget(makeCell(eSpherical));
    others->addWidget(makeCell(eMach));
    auto* lay = new QVBoxLayout(this);
    lay->addWidget(heading);
    lay->addWidget(single);
    lay->addLayout(others);

    // A choice the controller cannot serve would fail at selectProbeMode: the
    // DC reference (hardware drive mode) needs the double-probe mode too.
    m_buttons[eWithDcRef]->setEnabled(doubleProbeAvailable);
    m_buttons[eDouble]->setEnabled(doubleProbeAvailable);
    m_buttons[eMach]->setEnabled(doubleProbeAvailable);
    // The last choice is shown; a click (also on it) still decides.
    for (int c = 0; c < 5; ++c) {
        const int sw = c == eWithoutDcRef ? 0 : c == eWithDcRef ? 1 : c == eDouble ? 3 : c == eSpherical ? 4 : 5;
        if (sw == m_swProbeMode && m_buttons[c]->isEnabled())
            m_buttons[c]->setChecked(true);
    }
}

QRadioButton* ProbeModeSelector::button(Choice c) const
{
    return m_buttons[c];
}

void ProbeModeSelector::selectMode()
{
    int result = -1;
    if (m_buttons[eWithoutDcRef]->isChecked()) {
        result = 0;
        m_hwProbeMode = 0;
        m_swProbeMode = 0;
        Prompter::information(this, "WARNING",
                              "When using single probe without dc reference.\na ground short connector must be "
                              "connected\nto the Double probe port of the controller unit");
    } else if (m_buttons[eDouble]->isChecked()) {
        result = 3;
        m_hwProbeMode = 3;
        m_swProbeMode = 3;
    } else if (m_buttons[eWithDcRef]->isChecked()) {
        result = 1;
        m_hwProbeMode = 1;
        m_swProbeMode = 1;
    } else if (m_buttons[eSpherical]->isChecked()) {
        result = 4;
        m_hwProbeMode = 0;
        m_swProbeMode = 4;
    } else if (m_buttons[eMach]->isChecked()) {
        result = 5;
        m_hwProbeMode = 3;
        m_swProbeMode = 5;
    }
    if (result < 0)
        return; // nothing chosen yet: stay open
    QSettings s;
    s.beginGroup("mainsettings");
    s.setValue("hwProbeMode", m_hwProbeMode);
    s.setValue("swProbeMode", m_swProbeMode);
    s.endGroup();
    done(result);
    hide();
}

void ProbeModeSelector::reject()
{
}

void ProbeModeSelector::closeEvent(QCloseEvent* e)
{
    e->ignore();
}
