#pragma once
// The strip above the session area: Connect, Clean, Scan and New buttons and
// the maker's logo. The Scan button is debounced for 3 s.
#include <QWidget>

class QPushButton;
class QTimer;

class topBanner : public QWidget
{
    Q_OBJECT
public:
    explicit topBanner(QWidget* parent = nullptr);

    void setConnectText(const QString& text);
    void setConnectChecked(bool on);
    void setCleanChecked(bool on);
    void setScanChecked(bool on);
    void setConnectEnabled(bool on);
    void setCleanEnabled(bool on);
    void setScanEnabled(bool on);
    void setNewEnabled(bool on);

    QPushButton* connectButton() const { return m_connect; }
    QPushButton* cleanButton() const { return m_clean; }
    QPushButton* scanButton() const { return m_scan; }
    QPushButton* newButtonWidget() const { return m_new; }
    bool scanDebouncing() const;

signals:
    void connect();
    void clean();
    void newButton();
    void scan();

private:
    QPushButton* m_connect;
    QPushButton* m_clean;
    QPushButton* m_scan;
    QPushButton* m_new;
    QTimer* m_debounce;
    bool m_externalScanEnabled = true;
};
