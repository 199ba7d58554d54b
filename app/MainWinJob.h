#pragma once
// The main window as the host of batch job lines: the controller, the
// current session and its configuration, the Scan action, message boxes
// through the prompter (owned by the job window when one is open).
#include "JobScript.h"

class MainWin;

class MainWinJobHost : public JobHost
{
public:
    explicit MainWinJobHost(MainWin& w) : m_w(w) {}

    bool isConnected() override;
    double syncFrequency() override;
    QVector<double> currentRanges() override;
    ConfigParam* config() override;
    void configChanged() override;
    bool applyIdleVoltage(double volts, QString* error) override;
    bool scan(QString* error) override;
    bool clean(QString* error) override;
    DataAnalyzer* session() override;
    bool newSession(QString* error) override;
    void showMessage(const QString& text) override;
    void critical(const QString& text) override;
    bool waitWithEvents(int ms) override;
    bool aborted() override;

    // Slices of a wait (ms): Abort is noticed within one.
    static constexpr int kWaitSliceMs = 30;

private:
    QWidget* boxParent();
    MainWin& m_w;
};
