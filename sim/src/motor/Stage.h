// A carriage between two end switches, driven by a stepper motor at a finite
// speed on the simulated clock. Positions are in steps from the minus end.
#pragma once

namespace qsim {

class Stage {
public:
    Stage(double length, double start);

    // Brings the carriage up to simulated time `now`.
    void advance(double now);

    double position() const { return pos_; }
    double length() const { return length_; }
    void setPosition(double pos);
    long counter() const;
    void setCounter(long value);            // the present position becomes `value`
    bool moving() const { return moving_; }
    bool atMinusEnd() const { return pos_ <= 0.5; }
    bool atPlusEnd() const { return pos_ >= length_ - 0.5; }
    double speed() const { return speed_; }

    void moveTo(double now, double target, double speed);   // carriage position
    void moveCounterTo(double now, long target, double speed) { moveTo(now, target + zero_, speed); }
    void moveBy(double now, double steps, double speed) { moveTo(now, pos_ + steps, speed); }
    void seekEnd(double now, int direction, double speed);  // to the end switch in that direction
    void stop(double now);

    // The end the last motion ran into short of its target: -1, +1 or 0.
    int endHit() const { return endHit_; }
    // Homing that zeroes the counter when it arrives.
    void setZeroOnArrival(bool zero) { zeroOnArrival_ = zero; }
    void setStalled(bool stalled) { stalled_ = stalled; }

private:
    double length_;
    double pos_;
    double zero_ = 0;
    double target_ = 0;
    double speed_ = 0;
    double last_ = 0;
    bool moving_ = false;
    bool stalled_ = false;
    bool zeroOnArrival_ = false;
    int endHit_ = 0;
};

} // namespace qsim
