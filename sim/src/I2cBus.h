// The module's I2C bus and the calibration memory on it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace qsim {

class Clock;

class I2cDevice {
public:
    virtual ~I2cDevice() = default;
    virtual bool write(const uint8_t *data, size_t length) = 0;
    virtual size_t read(uint8_t *data, size_t length) = 0;
    // Not acknowledging its address (for instance during a write cycle).
    virtual bool busy() const { return false; }
};

// Serial memory with a 16-bit address pointer (high byte first): a write sets
// the pointer and stores the data within the current 64-byte page (wrapping
// like the real part); a read returns bytes from the pointer, which advances.
// After a data write the part is busy for its write cycle (5 ms simulated
// time) and does not acknowledge; at speed factor 0 the cycle takes no time.
class I2cMemory : public I2cDevice {
public:
    static constexpr size_t kSize = 0x4000 * 2;
    static constexpr size_t kPage = 64;
    static constexpr double kWriteCycleSeconds = 0.005;
    explicit I2cMemory(const Clock *clock = nullptr) : bytes_(kSize, 0xFF), clock_(clock) {}
    bool busy() const override;
    bool write(const uint8_t *data, size_t length) override;
    size_t read(uint8_t *data, size_t length) override;
    std::vector<uint8_t> peek(uint16_t address, size_t length) const;
    void poke(uint16_t address, const std::vector<uint8_t> &bytes);
private:
    std::vector<uint8_t> bytes_;
    uint16_t pointer_ = 0;
    const Clock *clock_;
    double busyUntil_ = -1.0;
};

class I2cBus {
public:
    void attach(uint16_t address, std::shared_ptr<I2cDevice> device) { devices_[address] = std::move(device); }
    I2cDevice *device(uint16_t address) const {
        auto it = devices_.find(address);
        return it == devices_.end() ? nullptr : it->second.get();
    }
private:
    std::map<uint16_t, std::shared_ptr<I2cDevice>> devices_;
};

} // namespace qsim
