// MDrivePlus family ("Intelligent Motion System Drive"): echoing controller
// with the '>' prompt and the '?' error prompt; "PR ER" tells the error code.
#pragma once

#include "SerialDrive.h"

class MDrivePlus : public SerialDrive {
public:
    static constexpr double kSlope = -9.933333333333334e-6;   // position units per step
    static constexpr int kBufferSize = 16;

    explicit MDrivePlus(HwRegisters *registers);

    bool identify() override;
    bool moveToHome() override;
    bool moveTo(double position) override;
    bool stop() override;

    // Error table shared with AppliedMotion.
    static QString tableText(int code);

protected:
    QString errorText(int code) const override { return tableText(code); }
    bool frameComplete(const QByteArray &raw) const override;
    Reply readCommandReply() override;

private:
    bool readPosition(long &steps) override;
    bool queryMoving(bool &moving, int tries);
    void queryErrorCode();
    bool failHome(const char *what);
};
