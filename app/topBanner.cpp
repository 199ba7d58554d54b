#include "topBanner.h"

#include "AppImages.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>

topBanner::topBanner(QWidget* parent)
    : QWidget(parent)
{
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(22, 44, 82));
    setPalette(pal);
    auto make = [this](const QString& text) {
        auto* b = new QPushButton(text, this);
        b->setCheckable(false);
        b->setMinimumSize(90, 36);
        return b;
    };
    m_connect = make(QStringLiteral("Connect"));
    m_clean = make(QStringLiteral("Clean"));
    m_scan = make(QStringLiteral("Scan"));
    m_new = make(QStringLiteral("New"));
    for (QPushButton* b : {m_connect, m_clean, m_scan})
        b->setCheckable(true);
    auto* logo = new QLabel(this);
    logo->setPixmap(AppImages::logo().scaled(150, 60, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    auto* lay = new QHBoxLayout(this);
    lay->setContentsMargins(8, 4, 8, 4);
    lay->addWidget(m_connect);
    lay->addWidget(m_clean);
    lay->addWidget(m_scan);
    lay->addWidget(m_new);
    lay->addStretch(1);
    lay->addWidget(logo);

    m_debounce = new QTimer(this);
    m_debounce->setSingleShot(true);
    m_debounce->setInterval(3000);
    QObject::connect(m_debounce, &QTimer::timeout, this, [this] { m_scan->setEnabled(m_externalScanEnabled); });

    // The buttons mirror the actions: the action toggles, the button follows.
    QObject::connect(m_connect, &QPushButton::clicked, this, [this](bool) {
        m_connect->setChecked(!m_connect->isChecked());
        emit connect();
    });
    QObject::connect(m_clean, &QPushButton::clicked, this, [this](bool) {
        m_clean->setChecked(!m_clean->isChecked());
        emit clean();
    });
    QObject::connect(m_scan, &QPushButton::clicked, this, [this](bool) {
        m_scan->setChecked(!m_scan->isChecked());
        m_scan->setEnabled(false);
        m_debounce->start();
        emit scan();
    });
    QObject::connect(m_new, &QPushButton::clicked, this, [this] { emit newButton(); });
}

void topBanner::setConnectText(const QString& text) { m_connect->setText(text); }
void topBanner::setConnectChecked(bool on) { m_connect->setChecked(on); }
void topBanner::setCleanChecked(bool on) { m_clean->setChecked(on); }
void topBanner::setScanChecked(bool on) { m_scan->setChecked(on); }
void topBanner::setConnectEnabled(bool on) { m_connect->setEnabled(on); }
void topBanner::setCleanEnabled(bool on) { m_clean->setEnabled(on); }
void topBanner::setNewEnabled(bool on) { m_new->setEnabled(on); }

void topBanner::setScanEnabled(bool on)
{
    m_externalScanEnabled = on;
    if (!on)
        m_debounce->stop();
    if (!m_debounce->isActive())
        m_scan->setEnabled(on);
}

bool topBanner::scanDebouncing() const
{
    return m_debounce->isActive();
}
