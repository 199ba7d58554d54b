// PM600 family ("VG Scienta Drive"): commands start with the line address,
// replies end with carriage return and line feed, ESC stops.
#pragma once

#include "SerialDrive.h"

class PM600 : public SerialDrive {
public:
    static constexpr int kBufferSize = 32;
    static constexpr double kZeroSlopeSubstitute = -0.009;

    explicit PM600(HwRegisters *registers);

    bool identify() override;
    bool moveToHome() override;
    bool moveTo(double position) override;
    bool stop() override;

    // Error table shared with OpticsFocus.
    static QString tableText(int code);

protected:
    QString errorText(int code) const override { return tableText(code); }
    bool frameComplete(const QByteArray &raw) const override;
    Reply readCommandReply() override;
    void warnNonPrintable(int pos, const QByteArray &raw) override;

private:
    bool readStatus(bool &moving, bool &lowerLimit);
    bool readPosition(long &steps) override;
    Motion waitForStop(double stepsPerSecond, long target, long &last);
    QByteArray dbgstr;
};
