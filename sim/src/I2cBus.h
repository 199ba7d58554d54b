// The module's I2C bus and the calibration memory on it.
#pragma once
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

namespace qsim {

class I2cDevice {
public:
    virtual ~I2cDevice() = default;
    virtual bool write(const uint8_t *data, size_t length) = 0;
    virtual size_t read(uint8_t *data, size_t length) = 0;
};

// Serial memory with a 16-bit address pointer (high byte first): a write sets
// the pointer and stores the data within the current 64-byte page (wrapping
// like the real part); a read returns bytes from the pointer, which advances.
class I2cMemory : public I2cDevice {
public:
    static constexpr size_t kSize = 0x4000 * 2;
    static constexpr size_t kPage = 64;
    I2cMemory() : bytes_(kSize, 0xFF) {}
    bool write(const uint8_t *data, size_t length) override;
    size_t read(uint8_t *data, size_t length) override;
    std::vector<uint8_t> peek(uint16_t address, size_t length) const;
    void poke(uint16_t address, const std::vector<uint8_t> &bytes);
private:
    std::vector<uint8_t> bytes_;
    uint16_t pointer_ = 0;
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
