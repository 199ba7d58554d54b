#include "LinearDriver.h"

#include "Prompter.h"
#include "RIRavaVCntrl.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QDoubleValidator>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>

namespace {
const char* const kTitle = "Quendrix Langmuir";
}

LinearDriver::LinearDriver(RIRavaVCntrl* controller, QStringList* alerts, QWidget* parent)
    : QDialog(parent), m_control(new LinearDriveControl(controller, alerts, this))
{
    setWindowTitle(QStringLiteral("Linear Drive"));

    m_posBox = new QDoubleSpinBox(this);
    m_posBox->setSuffix(QStringLiteral(" mm"));
    m_posSlider = new QSlider(Qt::Horizontal, this);
    m_actual = new QLabel(QStringLiteral("-"), this);
    m_actual->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_actual->setMinimumWidth(80);
    m_status = new QLabel(m_control->status(), this);
    m_initButton = new QPushButton(QStringLiteral("INITIALIZE"), this);
    m_initButton->setCheckable(true);
    m_moveButton = new QPushButton(QStringLiteral("MOVE"), this);
    m_moveButton->setCheckable(true);
    m_configButton = new QPushButton(QStringLiteral("Configure..."), this);
    m_tableButton = new QPushButton(QStringLiteral("Parameters..."), this);
    for (QPushButton* b : {m_initButton, m_moveButton, m_configButton, m_tableButton})
        b->setAutoDefault(false);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(QStringLiteral("Target position"), this), 0, 0);
    grid->addWidget(m_posBox, 0, 1);
    grid->addWidget(m_moveButton, 0, 2);
    grid->addWidget(m_posSlider, 1, 0, 1, 3);
    grid->addWidget(new QLabel(QStringLiteral("Actual position [mm]"), this), 2, 0);
    grid->addWidget(m_actual, 2, 1);
    grid->addWidget(m_initButton, 2, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_configButton);
    buttons->addWidget(m_tableButton);
    buttons->addStretch(1);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(grid);
    lay->addWidget(m_status);
    lay->addLayout(buttons);

    // The parameter table is a window of its own.
    m_table = new QTableWidget(DriveDialogSettings::kRows, 2);
    m_table->setWindowTitle(QStringLiteral("Config Panel"));
    m_table->setHorizontalHeaderLabels({QStringLiteral("Parameter"), QStringLiteral("Value")});
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->verticalHeader()->hide();
    QFont font(QStringLiteral("TypeWriter"), 12, QFont::Black);
    font.setFixedPitch(true);
    m_table->setFont(font);
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), m_table);
    connect(esc, &QShortcut::activated, m_table, &QWidget::hide);
    fillTable();
    if (!m_control->settings().cpGeometry.isEmpty())
        m_table->restoreGeometry(m_control->settings().cpGeometry);

    applySettingsToWidgets();
    setPositionControlsEnabled(false);

    connect(m_initButton, &QPushButton::clicked, this, &LinearDriver::initSlot);
    connect(m_moveButton, &QPushButton::clicked, this, &LinearDriver::moveSlot);
    connect(m_posBox, QOverload<double>::of(&QDoubleSpinBox::valueChanged), this, &LinearDriver::setPosBoxSlot);
    connect(m_posSlider, &QSlider::valueChanged, this, &LinearDriver::setPosSliderSlot);
    connect(m_configButton, &QPushButton::clicked, this, &LinearDriver::configALD);
    connect(m_tableButton, &QPushButton::clicked, this, &LinearDriver::showConfigPanel);
    connect(m_table, &QTableWidget::cellChanged, this, &LinearDriver::updateParameter);
    connect(m_control, &LinearDriveControl::statusChanged, m_status, &QLabel::setText);
    connect(m_control, &LinearDriveControl::busyChanged, this, &LinearDriver::onBusy);
    connect(m_control, &LinearDriveControl::initialisedChanged, this, &LinearDriver::setPositionControlsEnabled);
    connect(m_control, &LinearDriveControl::positionChanged, this, [this](double mm) {
        m_actual->setText(std::isfinite(mm) && m_control->isInitialised() ? QString::number(mm, 'f', 1)
                                                                           : QStringLiteral("-"));
    });

    LinearDriveControl::Host host;
    host.question = [this](const QString& title, const QString& text) {
        return Prompter::question(this, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
    };
    host.information = [this](const QString& title, const QString& text) {
        Prompter::information(this, title, text);
    };
    host.showAlerts = [this] { showErrorMsg(); };
    m_control->setHost(host);
}

LinearDriver::~LinearDriver()
{
    m_control->settings().cpGeometry = m_table->saveGeometry();
    m_control->settings().write();
    delete m_table;
}

void LinearDriver::applySettingsToWidgets()
{
    const DriveDialogSettings& s = m_control->settings();
    const QSignalBlocker b1(m_posBox);
    const QSignalBlocker b2(m_posSlider);
    m_posBox->setDecimals(s.boxDecimals);
    m_posBox->setRange(s.boxMinimum, s.boxMaximum);
    m_posBox->setSingleStep(s.boxSingleStep);
    m_posSlider->setRange(s.sliderMinimum, s.sliderMaximum);
    m_posSlider->setSingleStep(s.sliderSingleStep);
    m_posSlider->setPageStep(s.sliderPageStep);
    m_map = SliderMap::from(s.boxMinimum, s.boxMaximum, s.sliderMinimum, s.sliderMaximum);
    m_posSlider->setValue(m_map.toSlider(m_posBox->value()));
}

void LinearDriver::fillTable()
{
    m_fillingTable = true;
    const DriveDialogSettings& s = m_control->settings();
    for (int r = 0; r < DriveDialogSettings::kRows; ++r) {
        auto* name = new QTableWidgetItem(DriveDialogSettings::rowName(r));
        name->setFlags(Qt::ItemIsEnabled);
        m_table->setItem(r, 0, name);
        m_table->setItem(r, 1, new QTableWidgetItem(s.rowText(r)));
    }
    m_table->resizeColumnToContents(0);
    m_fillingTable = false;
}

void LinearDriver::setPositionControlsEnabled(bool on)
{
    const bool enable = on && m_control->isInitialised() && !m_control->isBusy();
    m_posBox->setEnabled(enable);
    m_posSlider->setEnabled(enable);
    m_moveButton->setEnabled(enable || m_moveButton->isChecked());
}

void LinearDriver::onBusy(bool busy)
{
    setPositionControlsEnabled(!busy);
    m_configButton->setEnabled(!busy);
    // Homing from the main window (connect, disconnect, closing) happens
    // with this dialog hidden: a small box offers the abort.
    if (busy && !isVisible()) {
        m_homeProgress = new QProgressDialog(QStringLiteral("Moving the linear drive..."), QStringLiteral("Abort"),
                                             0, 0, parentWidget());
        m_homeProgress->setWindowTitle(QString::fromLatin1(kTitle));
        m_homeProgress->setMinimumDuration(0);
        connect(m_homeProgress, &QProgressDialog::canceled, m_control, &LinearDriveControl::abort);
        m_homeProgress->show();
    } else if (!busy && m_homeProgress) {
        m_homeProgress->hide();
        m_homeProgress->deleteLater();
    }
    if (!busy && m_closeWhenIdle) {
        m_closeWhenIdle = false;
        QDialog::reject();
    }
}

bool LinearDriver::initialise(bool quiet)
{
    m_initButton->setChecked(true);
    m_initButton->setText(QStringLiteral("ABORT"));
    setPositionControlsEnabled(false);
    const bool ok = m_control->initialise(quiet);
    m_initButton->setChecked(false);
    m_initButton->setText(QStringLiteral("INITIALIZE"));
    m_initButton->setEnabled(true);
    setPositionControlsEnabled(ok);
    return ok;
}

void LinearDriver::initSlot()
{
    if (!m_initButton->isChecked()) {
        // The click unchecked it: an initialisation runs, this is its abort.
        m_initButton->setChecked(true);
        m_control->abort();
        return;
    }
    initialise(false);
}

bool LinearDriver::moveToPosition(double position)
{
    m_moveButton->setChecked(true);
    m_moveButton->setText(QStringLiteral("STOP"));
    setPositionControlsEnabled(false);
    if (std::isfinite(position) && m_posBox->value() != position) {
        const QSignalBlocker b(m_posBox);
        m_posBox->setValue(position);
        const QSignalBlocker b2(m_posSlider);
        m_posSlider->setValue(m_map.toSlider(m_posBox->value()));
    }
    const bool ok = m_control->moveTo(position);
    m_moveButton->setChecked(false);
    m_moveButton->setText(QStringLiteral("MOVE"));
    setPositionControlsEnabled(true);
    return ok;
}

void LinearDriver::moveSlot()
{
    if (!m_moveButton->isChecked()) {
        m_moveButton->setChecked(true);
        m_control->abort();
        return;
    }
    if (!moveToPosition(m_posBox->value()) && !m_control->isAborted())
        showErrorMsg();
}

void LinearDriver::reset()
{
    m_control->release();
    m_actual->setText(QStringLiteral("-"));
    setPositionControlsEnabled(false);
}

void LinearDriver::setPosBoxSlot()
{
    const int s = m_map.toSlider(m_posBox->value());
    if (s != m_posSlider->value()) {
        const QSignalBlocker b(m_posSlider);
        m_posSlider->setValue(s);
    }
}

void LinearDriver::setPosSliderSlot()
{
    if (m_map.toSlider(m_posBox->value()) != m_posSlider->value()) {
        const QSignalBlocker b(m_posBox);
        m_posBox->setValue(m_map.toBox(m_posSlider->value(), m_posBox->minimum()));
    }
}

void LinearDriver::showErrorMsg()
{
    Prompter::critical(this, QString::fromLatin1(kTitle), m_control->alertText());
}

void LinearDriver::showConfigPanel()
{
    fillTable();
    m_table->show();
    m_table->raise();
}

void LinearDriver::updateParameter(int row, int column)
{
    if (m_fillingTable || column != 1)
        return;
    QTableWidgetItem* item = m_table->item(row, column);
    if (!item)
        return;
    QString error;
    if (!m_control->applyParameter(row, item->text(), &error)) {
        // Refused: the cell shows the value in force again.
        m_fillingTable = true;
        item->setText(m_control->settings().rowText(row));
        m_fillingTable = false;
        Prompter::warning(m_table, QString::fromLatin1(kTitle), error);
        return;
    }
    applySettingsToWidgets();
    m_fillingTable = true;
    item->setText(m_control->settings().rowText(row));
    m_fillingTable = false;
}

void LinearDriver::configALD()
{
    RIRavaVCntrl* ctrl = m_control->controller();
    ALDconfig dlg(this);
    const double slope = m_control->settings().slope != 0 ? m_control->settings().slope : ctrl->getLinearDriveSlope();
    dlg.setValues(slope, m_control->railLength(), ctrl->getLinearDriveVelpercent(), ctrl->getHomeInverted(),
                  ctrl->getHomingSpeed());
    dlg.setDriveSearch(m_control->settings().driveSearch);
    if (Prompter::instance().execDialog(&dlg) != QDialog::Accepted)
        return;
    m_control->applyConfiguration(dlg.slope(), dlg.homeInverted(), dlg.velocityPercent(), dlg.railLength(),
                                  dlg.homingSpeed());
    m_control->setDriveSearch(dlg.driveSearch());
    applySettingsToWidgets();
    fillTable();
}

void LinearDriver::reject()
{
    if (m_control->isBusy()) {
        // Closing aborts the operation; the dialog closes once it returned.
        m_closeWhenIdle = true;
        m_control->abort();
        return;
    }
    QDialog::reject();
}

void LinearDriver::closeEvent(QCloseEvent* event)
{
    if (m_control->isBusy()) {
        event->ignore();
        reject();
        return;
    }
    QDialog::closeEvent(event);
}

// ---------------------------------------------------------------- ALDconfig

namespace {
struct SlopeEntry {
    const char* name;
    double slope;
};
const SlopeEntry kSlopes[] = {
    {"---------", 0.0},
    {"Applied Motion", 0.01},
    {"MDrive Plus", 0.005},
    {"PM 600", -9.933333333333334e-06},
};
} // namespace

ALDconfig::ALDconfig(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Linear Driver Configuration"));
    m_homeInverted = new QCheckBox(QStringLiteral("Home Inverted"), this);
    m_speed = new QDoubleSpinBox(this);
    m_speed->setRange(1, 100);
    m_speed->setDecimals(3);
    m_speed->setSuffix(QStringLiteral(" %"));
    m_rail = new QSpinBox(this);
    m_rail->setRange(1, 60000);
    m_homingSpeed = new QDoubleSpinBox(this);
    m_homingSpeed->setRange(0, 50);
    m_homingSpeed->setDecimals(3);
    m_slope = new QLineEdit(this);
    auto* v = new QDoubleValidator(-1000, 1000, 20, m_slope);
    v->setNotation(QDoubleValidator::ScientificNotation);
    v->setLocale(QLocale::c());
    m_slope->setValidator(v);
    m_useDefault = new QCheckBox(QStringLiteral("Default Slope values"), this);
    m_type = new QComboBox(this);
    m_type->addItems(typeEntries());
    m_type->setEnabled(false);
    m_search = new QComboBox(this);
    m_search->addItems({QStringLiteral("search"), QStringLiteral("none")});
    m_search->setToolTip(QStringLiteral("none: no drive attached; connecting does not wait for one to answer"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Linear drive"), m_search);
    form->addRow(m_homeInverted);
    form->addRow(QStringLiteral("Max Speed"), m_speed);
    form->addRow(QStringLiteral("Rail Length [mm]"), m_rail);
    form->addRow(QStringLiteral("Homing Speed [mm/s]"), m_homingSpeed);
    form->addRow(QStringLiteral("Slope"), m_slope);
    form->addRow(m_useDefault, m_type);
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    auto* lay = new QVBoxLayout(this);
    lay->addLayout(form);
    lay->addWidget(box);
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(box, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(m_type, QOverload<int>::of(&QComboBox::currentIndexChanged), this, &ALDconfig::setDefaultSlopeVal);
    // With the defaults on, the slope comes from the controller type.
    connect(m_useDefault, &QCheckBox::toggled, this, [this](bool on) {
        m_type->setEnabled(on);
        m_slope->setReadOnly(on);
        if (on)
            setDefaultSlopeVal(m_type->currentIndex());
    });
}

QStringList ALDconfig::typeEntries()
{
    QStringList l;
    for (const SlopeEntry& e : kSlopes)
        l << QString::fromLatin1(e.name);
    return l;
}

double ALDconfig::defaultSlope(int entry)
{
    return entry >= 0 && entry < int(sizeof kSlopes / sizeof kSlopes[0]) ? kSlopes[entry].slope : 0.0;
}

void ALDconfig::setDefaultSlopeVal(int entry)
{
    m_slope->setText(QString::number(defaultSlope(entry), 'g', 16));
}

void ALDconfig::setValues(double slope, double railLength, double velocityPercent, bool homeInverted,
                          double homingSpeed)
{
    m_slope->setText(QString::number(slope, 'g', 16));
    m_rail->setValue(static_cast<int>(std::lround(railLength)));
    m_speed->setValue(velocityPercent);
    m_homeInverted->setChecked(homeInverted);
    m_homingSpeed->setValue(homingSpeed);
}

double ALDconfig::slope() const
{
    bool ok = false;
    const double s = QLocale::c().toDouble(m_slope->text().trimmed(), &ok);
    return ok ? s : std::nan("");
}

double ALDconfig::railLength() const { return m_rail->value(); }
double ALDconfig::velocityPercent() const { return m_speed->value(); }
bool ALDconfig::homeInverted() const { return m_homeInverted->isChecked(); }
double ALDconfig::homingSpeed() const { return m_homingSpeed->value(); }
void ALDconfig::setDriveSearch(bool search) { m_search->setCurrentIndex(search ? 0 : 1); }
bool ALDconfig::driveSearch() const { return m_search->currentIndex() == 0; }
