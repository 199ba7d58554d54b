// Simulated time base: real time scaled by the speed factor.
#pragma once
#include <chrono>

namespace qsim {

class Clock {
public:
    explicit Clock(double speedFactor = 1.0)
        : speed_(speedFactor < 0 ? 0 : speedFactor), start_(std::chrono::steady_clock::now()) {}
    double speedFactor() const { return speed_; }
    // Simulated seconds since start; with speed 0 time only moves by advance().
    double now() const {
        double real = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        return real * speed_ + offset_;
    }
    // Moves simulated time forward without real waiting (used at speed 0).
    void advance(double seconds) { offset_ += seconds; }
    // Real seconds a simulated interval takes (0 at speed 0).
    double realSeconds(double simSeconds) const { return speed_ > 0 ? simSeconds / speed_ : 0.0; }
private:
    double speed_;
    std::chrono::steady_clock::time_point start_;
    double offset_ = 0.0;
};

} // namespace qsim
