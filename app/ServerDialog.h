#pragma once
// The data server's switch: on/off, the port and the address it is reached at.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;

class ServerDialog : public QDialog
{
    Q_OBJECT
public:
    explicit ServerDialog(QWidget* parent = nullptr);

    // Decimal port of the line edit; text that is no number gives 0 (the system chooses).
    quint16 port() const;
    // Listen on the loopback interface only instead of every interface.
    bool localOnly() const;
    void setLocalOnly(bool on);
    // "Allow remote scan start": a POST may start a scan. The setter does not
    // signal.
    bool remoteStartAllowed() const;
    void setRemoteStartAllowed(bool on);
    void setAddressText(const QString& text);
    QString addressText() const;
    // Sets the switch without asking the server to follow.
    void setServerOn(bool on);

    QCheckBox* serverCheckBox() const { return m_on; }
    QLineEdit* portEdit() const { return m_port; }

signals:
    void serverToggled(bool on);
    void remoteStartToggled(bool allowed);

private:
    QCheckBox* m_on;
    QCheckBox* m_local;
    QCheckBox* m_remoteStart;
    QLineEdit* m_port;
    QLabel* m_address;
};
