#include "I2cBus.h"
#include "Clock.h"

namespace qsim {

bool I2cMemory::busy() const
{
    return clock_ && clock_->speedFactor() > 0 && clock_->now() < busyUntil_;
}

bool I2cMemory::write(const uint8_t *data, size_t length)
{
    if (length < 2)
        return false;
    pointer_ = static_cast<uint16_t>(((data[0] << 8) | data[1]) % kSize);
    const size_t pageStart = pointer_ - pointer_ % kPage;
    size_t offset = pointer_ % kPage;
    for (size_t i = 2; i < length; ++i) {
        bytes_[pageStart + offset] = data[i];
        offset = (offset + 1) % kPage;
    }
    if (length > 2 && clock_)
        busyUntil_ = clock_->now() + kWriteCycleSeconds;
    return true;
}

size_t I2cMemory::read(uint8_t *data, size_t length)
{
    for (size_t i = 0; i < length; ++i) {
        data[i] = bytes_[pointer_];
        pointer_ = static_cast<uint16_t>((pointer_ + 1) % kSize);
    }
    return length;
}

std::vector<uint8_t> I2cMemory::peek(uint16_t address, size_t length) const
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < length; ++i)
        out.push_back(bytes_[(address + i) % kSize]);
    return out;
}

void I2cMemory::poke(uint16_t address, const std::vector<uint8_t> &bytes)
{
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes_[(address + i) % kSize] = bytes[i];
}

} // namespace qsim
