// Scan read-out throughput: the stream of a time-resolved scan parsed from
// bulk transfers into the data buffer, averaged, scaled and converted
// (decode_MBps), beside a memcpy of the same bytes in the same run
// (memcpy_MBps); and whole time-resolved scans of 1024 sync points x 200
// steps read from the simulated unit with its pacing off (tr_scans_per_s).
#include <DriverLog.h>
#include <RIRavaVCntrl.h>
#include <ScanReadout.h>
#include <SimControl.h>

#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

// Serves a prepared stream in bulk transfers, as the module's data endpoint would.
class MemorySource : public BulkSource {
public:
    explicit MemorySource(const std::vector<uint16_t> &s) : stream(s) {}
    bool read(uint8_t *buffer, uint32_t &bytes) override
    {
        const size_t words = std::min<size_t>(bytes / 2, stream.size() - pos);
        std::memcpy(buffer, stream.data() + pos, words * 2);
        pos += words;
        bytes = static_cast<uint32_t>(words * 2);
        return true;
    }
    bool running() const override { return true; }
    const std::vector<uint16_t> &stream;
    size_t pos = 0;
};

std::vector<uint16_t> makeStream(uint32_t points, uint32_t steps, unsigned scans)
{
    std::mt19937 rng(12345);
    std::uniform_int_distribution<int32_t> sums(-2000000, 2000000);
    std::vector<uint16_t> out;
    const size_t perStep = 4 * size_t(points);
    for (unsigned s = 0; s < scans; ++s) {
        for (uint32_t step = 0; step < steps; ++step) {
            std::vector<uint16_t> body;
            body.reserve(perStep + 4);
            for (uint32_t k = 0; k < 2 * points; ++k) {
                const uint32_t v = static_cast<uint32_t>(sums(rng));
                body.push_back(uint16_t(v & 0xFFFF));
                body.push_back(uint16_t(v >> 16));
            }
            const bool last = step + 1 == steps;
            if (last) {
                body.insert(body.end(), {0x9BFF, 0x0000, 0x0000, 0x1234});
            }
            for (size_t i = 0; i < body.size(); i += 0x3FFC) {
                const size_t n = std::min<size_t>(0x3FFC, body.size() - i);
                out.push_back(uint16_t(n | (last && i + n == body.size() ? 0x8000 : 0)));
                out.insert(out.end(), body.begin() + long(i), body.begin() + long(i + n));
            }
        }
    }
    return out;
}

void decodeBenchmark()
{
    const uint32_t points = 1024, steps = 200;
    const unsigned average = 4;
    const std::vector<uint16_t> stream = makeStream(points, steps, average);
    const size_t bytes = stream.size() * 2;
    std::vector<double> data(2ull * points * steps);
    ConversionCoefficients c;
    ScanStreamReader reader;
    reader.setWordsPerRead(0x4000); // high-speed bulk transfers
    ScanStreamLayout layout;
    layout.syncPoints = points;
    layout.steps = steps;
    layout.synchronized = true;
    std::atomic<bool> aborted{false};
    std::atomic<long> read{0};
    std::vector<uint8_t> copy(bytes);

    double bestDecode = 1e9, bestCopy = 1e9;
    for (int round = 0; round < 15; ++round) {
        MemorySource source(stream);
        reader.empty();
        uint32_t sync = 0x9BFF;
        const auto t0 = Clock::now();
        std::fill(data.begin(), data.end(), 0.0);
        const ReadResult r = reader.read(layout, average, data.data(), source, aborted, read, sync);
        convertScan(data.data(), points, steps, 4.0 * average, c, 0, 0, 1, 100);
        const auto t1 = Clock::now();
        if (r.outcome != ReadOutcome::Complete) {
            std::fprintf(stderr, "decode failed: %s\n", r.message.c_str());
            return;
        }
        std::memcpy(copy.data(), stream.data(), bytes);
        const auto t2 = Clock::now();
        bestDecode = std::min(bestDecode, seconds(t0, t1));
        bestCopy = std::min(bestCopy, seconds(t1, t2));
    }
    volatile double sink = data[12345] + copy[777];
    (void)sink;
    std::printf("decode_MBps: %.0f\n", bytes / bestDecode / 1e6);
    std::printf("memcpy_MBps: %.0f\n", bytes / bestCopy / 1e6);
}

void timeResolvedScans()
{
    qsim::Config config;
    config.speedFactor = 0; // pacing off
    qsim::reset(config);
    setDriverDelayScale(0);
    RIRavaVCntrl c;
    if (c.connectTo() != 1) {
        std::fprintf(stderr, "no simulated unit\n");
        return;
    }
    double period = 0.9, delay = 0, duration = 1023 * 0.9;
    bool ok = c.outputHV() && c.setMeasuringRange(1) && c.setScanType(false, true, false) && c.setAverageHW(1, 0);
    ok = ok && c.setSyncScanParameters(period, delay, duration, true) && c.setScanVoltages(-39.8, 0.4, 39.8);
    ok = ok && c.startScan();
    double *data = nullptr;
    unsigned points = 0, steps = 0, trailer = 0;
    double samplePeriod = 0, syncDelay = 0;
    unsigned scans = 0;
    const auto t0 = Clock::now();
    double elapsed = 0;
    while (ok && elapsed < 2.0) {
        ok = c.getDataFromOneScan(data, points, steps, samplePeriod, syncDelay, trailer, false);
        ++scans;
        elapsed = seconds(t0, Clock::now());
    }
    c.stopScan();
    if (!ok || points != 1024 || steps != 200) {
        std::fprintf(stderr, "time-resolved scan failed (%u x %u)\n", points, steps);
        return;
    }
    std::printf("tr_scans_per_s: %.1f\n", scans / elapsed);
}

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    qInstallMessageHandler(quiet);
    decodeBenchmark();
    timeResolvedScans();
    return 0;
}
