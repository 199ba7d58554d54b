// AppliedMotion family (integrated controller, "Applied Motion System Drive"):
// commands and replies end with a carriage return; "%" or "*" acknowledge,
// "?<code>" refuses.
#pragma once

#include "SerialDrive.h"

class AppliedMotion : public SerialDrive {
public:
    static constexpr int kBufferSize = 32;
    static constexpr double kDefaultStepsPerRev = 20000;
    static constexpr double kMaxRevPerSecond = 5.0;    // velocity at 100 percent
    static constexpr double kAcceleration = 7.0;       // rev/s^2, as the deceleration DE7

    explicit AppliedMotion(HwRegisters *registers);

    bool identify() override;
    bool moveToHome() override;
    bool moveTo(double position) override;
    bool stop() override;

protected:
    QString errorText(int code) const override;
    bool frameComplete(const QByteArray &raw) const override;
    Reply readCommandReply() override;

private:
    bool readPosition(long &steps) override;
    bool queryMoving(bool &moving);
    Motion seek(double revPerSecond, const char *what);
    double stepsPerRevolution() const;
};
