// OpticsFocus family ("OpticsFocus Drive"): short commands ended by a carriage
// return, replies ended by a line feed, "OK" for an accepted command.
#pragma once

#include "SerialDrive.h"

class OpticsFocus : public SerialDrive {
public:
    static constexpr int kBufferSize = 32;
    static constexpr double kStepsPerSecondPerUnit = 100;   // one unit of its V command

    explicit OpticsFocus(HwRegisters *registers);

    bool identify() override;
    bool moveToHome() override;
    bool moveTo(double position) override;
    bool stop() override;

protected:
    QString errorText(int code) const override;
    bool frameComplete(const QByteArray &raw) const override;
    Reply readCommandReply() override;
    void warnNonPrintable(int pos, const QByteArray &raw) override;

private:
    bool expectOk(const char *what);
    bool readPosition(long &steps) override;
    QByteArray dbgstr;
};
