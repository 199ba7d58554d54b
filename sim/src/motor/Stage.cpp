#include "Stage.h"

#include <algorithm>
#include <cmath>

namespace qsim {

Stage::Stage(double length, double start)
    : length_(length > 1 ? length : 1), pos_(std::clamp(start, 0.0, length_))
{
}

void Stage::advance(double now)
{
    const double dt = now - last_;
    last_ = now;
    if (!moving_ || stalled_ || dt <= 0)
        return;
    const double wanted = std::clamp(target_, 0.0, length_);
    const double step = speed_ * dt;
    if (std::fabs(wanted - pos_) <= step) {
        pos_ = wanted;
        moving_ = false;
        if (wanted != target_)
            endHit_ = target_ < wanted ? -1 : 1;
        if (zeroOnArrival_) {
            zero_ = pos_;
            zeroOnArrival_ = false;
        }
    } else {
        pos_ += wanted > pos_ ? step : -step;
    }
}

void Stage::setPosition(double pos)
{
    pos_ = std::clamp(pos, 0.0, length_);
}

long Stage::counter() const
{
    return std::lround(pos_ - zero_);
}

void Stage::setCounter(long value)
{
    zero_ = pos_ - static_cast<double>(value);
}

void Stage::moveTo(double now, double target, double speed)
{
    advance(now);
    target_ = target;
    speed_ = speed > 0 ? speed : 1;
    endHit_ = 0;
    zeroOnArrival_ = false;
    moving_ = true;
}

void Stage::seekEnd(double now, int direction, double speed)
{
    // A target beyond the end: the switch stops the carriage there.
    moveTo(now, direction < 0 ? -length_ - 1 : 2 * length_ + 1, speed);
}

void Stage::stop(double now)
{
    advance(now);
    moving_ = false;
    zeroOnArrival_ = false;
}

} // namespace qsim
