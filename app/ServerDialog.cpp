#include "ServerDialog.h"

#include <QCheckBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QSignalBlocker>
#include <QVBoxLayout>

ServerDialog::ServerDialog(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Dialog"));
    m_on = new QCheckBox(QStringLiteral("Turn On Server"), this);
    m_port = new QLineEdit(QStringLiteral("8000"), this);
    m_port->setValidator(new QIntValidator(0, 9999, m_port));
    m_local = new QCheckBox(QStringLiteral("This computer only"), this);
    m_local->setToolTip(QStringLiteral("Listen on the loopback interface only; other computers cannot connect."));
    m_remoteStart = new QCheckBox(QStringLiteral("Allow remote scan start"), this);
    m_remoteStart->setChecked(true);
    m_remoteStart->setToolTip(QStringLiteral("A POST request starts a scan (a high-voltage sweep of the probe) when "
                                             "nothing else runs. Off: the server only reads."));
    m_address = new QLabel(QStringLiteral("IP Address ::"), this);
    m_address->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Port Number"), m_port);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_on);
    layout->addLayout(form);
    layout->addWidget(m_local);
    layout->addWidget(m_remoteStart);
    layout->addWidget(m_address);

    connect(m_on, &QCheckBox::toggled, this, [this](bool on) {
        // The port and interface are fixed while the server listens.
        m_port->setEnabled(!on);
        m_local->setEnabled(!on);
        emit serverToggled(on);
    });
    // Takes effect at once, also while the server listens.
    connect(m_remoteStart, &QCheckBox::toggled, this, &ServerDialog::remoteStartToggled);
}

quint16 ServerDialog::port() const
{
    bool ok = false;
    const int p = m_port->text().toInt(&ok, 10);
    return ok && p >= 0 && p <= 65535 ? quint16(p) : 0;
}

bool ServerDialog::localOnly() const
{
    return m_local->isChecked();
}

void ServerDialog::setLocalOnly(bool on)
{
    m_local->setChecked(on);
}

bool ServerDialog::remoteStartAllowed() const
{
    return m_remoteStart->isChecked();
}

void ServerDialog::setRemoteStartAllowed(bool on)
{
    const QSignalBlocker block(m_remoteStart);
    m_remoteStart->setChecked(on);
}

void ServerDialog::setAddressText(const QString& text)
{
    m_address->setText(text);
}

QString ServerDialog::addressText() const
{
    return m_address->text();
}

void ServerDialog::setServerOn(bool on)
{
    const QSignalBlocker block(m_on);
    m_on->setChecked(on);
    m_port->setEnabled(!on);
    m_local->setEnabled(!on);
}
