#pragma once
// A job host for the fuzzers: connected, with a record and a SYNC signal, that counts the
// commands reaching it and writes nothing (without a session a save cannot reach the disk).
#include "ConfigParam.h"
#include "JobScript.h"

class InertHost : public JobHost
{
public:
    SingleProbeConfigParam record;
    int commands = 0;
    bool isConnected() override { return true; }
    double syncFrequency() override { return 1000; }
    QVector<double> currentRanges() override { return {0.166, 0.0166, 0.00166, 0.000166, 1.66e-5, 1.66e-6}; }
    ConfigParam* config() override { return &record; }
    void configChanged() override { ++commands; }
    bool applyIdleVoltage(double, QString*) override { return ++commands, true; }
    bool scan(QString*) override { return ++commands, true; }
    bool clean(QString*) override { return ++commands, true; }
    DataAnalyzer* session() override { return nullptr; }
    void showMessage(const QString&) override { ++commands; }
    void critical(const QString&) override {}
    bool waitWithEvents(int) override { return true; }
    bool aborted() override { return false; }
};
