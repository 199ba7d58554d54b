// The scan data stream as the module delivers it: any bytes, any layout.
// Input: byte 0 sync points - 1 (low 3 bits), steps - 1 (next 5 bits); byte 1
// passes - 1 (low 2 bits), bit 2 synchronized, bit 3 trigger mode, bits 4-7
// bulk transfer size in words / 8; the rest is the stream.
#include <ScanReadout.h>

#include <cstring>
#include <vector>

namespace {
class BytesSource : public BulkSource {
public:
    BytesSource(const uint8_t *d, size_t n) : data(d), size(n) {}
    bool read(uint8_t *buffer, uint32_t &bytes) override
    {
        const size_t n = std::min<size_t>(bytes, size - pos);
        std::memcpy(buffer, data + pos, n);
        pos += n;
        bytes = static_cast<uint32_t>(n);
        return true;
    }
    bool running() const override { return pos < size; } // the unit stops when the bytes end
    const uint8_t *data;
    size_t size, pos = 0;
};
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    ScanStreamLayout layout;
    layout.syncPoints = (data[0] & 7) + 1;
    layout.steps = (data[0] >> 3) + 1;
    const unsigned passes = (data[1] & 3) + 1;
    layout.synchronized = data[1] & 4;
    layout.triggerMode = data[1] & 8;
    ScanStreamReader reader;
    reader.setWordsPerRead(((data[1] >> 4) + 1) * 8);
    std::vector<double> buffer(2ull * layout.syncPoints * layout.steps, 0.0);
    BytesSource source(data + 2, size - 2);
    std::atomic<bool> aborted{false};
    std::atomic<long> read{0};
    uint32_t sync = 0x9BFF;
    reader.read(layout, passes, buffer.data(), source, aborted, read, sync);
    ConversionCoefficients c;
    convertScan(buffer.data(), layout.syncPoints, layout.steps, passes, c, 1, 2, 3, data[0] & 15);
    return 0;
}
