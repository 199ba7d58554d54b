// Read-out of the scan data stream: packets of 16-bit words from the module's
// bulk endpoint are parsed word by word where the bulk read left them, and
// their 32-bit sums accumulated into the data buffer (2P rows of N doubles,
// value k at row k mod 2P, column k div 2P). Then scaling and the conversion
// to volts and amperes. Used by the driver and by the decode benchmark.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

// Where the words come from: one bulk transfer per call.
class BulkSource {
public:
    virtual ~BulkSource() = default;
    // Fills `buffer` with up to `bytes` bytes; false on a failed transfer.
    // `bytes` returns the number actually transferred.
    virtual bool read(uint8_t *buffer, uint32_t &bytes) = 0;
    // The run bit as the driver last wrote it.
    virtual bool running() const = 0;
};

struct ScanStreamLayout {
    uint32_t syncPoints = 1;     // P
    uint32_t steps = 1;          // N
    bool synchronized = false;   // SYNC value is checked
    bool triggerMode = false;    // empty headers and long silences allowed
};

enum class ReadOutcome { Complete, Failed, Aborted };

struct ReadResult {
    ReadOutcome outcome = ReadOutcome::Failed;
    bool critical = false;       // the message is a CRIT line
    bool transferFailed = false; // a bulk read failed (the driver sets its error code)
    std::string message;         // log message of a failure (empty for an abort)
    uint32_t trailer = 0;        // of the last pass
};

class ScanStreamReader {
public:
    static constexpr uint32_t kBufferBytes = 0x20000;
    static constexpr long kSilentReadLimit = 7000;

    ScanStreamReader();
    // Words per bulk read (0x4000 at high speed, else 0x10000); empties the buffer.
    void setWordsPerRead(uint32_t words);
    uint32_t wordsPerRead() const { return wordsPerRead_; }
    void empty();
    bool isEmpty() const { return pos_ >= end_; }

    // Reads `passes` scans, adding their values into `data` (2 * P * N doubles,
    // zeroed by the caller). `syncWord` is the driver's SYNC word; a changed
    // SYNC value replaces it.
    ReadResult read(const ScanStreamLayout &layout, unsigned passes, double *data, BulkSource &source,
                    const std::atomic<bool> &aborted, std::atomic<long> &valuesRead, uint32_t &syncWord);

private:
    bool refill(BulkSource &source, ReadResult &r);

    std::vector<uint16_t> buffer_;   // bulk transfers land here; parsed in place
    uint32_t wordsPerRead_ = 0x4000;
    const uint16_t *words_ = nullptr;
    uint32_t pos_ = 0, end_ = 0;
    long silentReads_ = 0;
};

// Scaling and conversion of a read buffer.
struct ConversionCoefficients {
    double adcV[2] = {0, 1};
    double adcI[6][2] = {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}};
    double resI[3] = {3, 300, 30000};
};

// Divides every sum by `divisor` and turns rows 2j / 2j+1 into volts and
// amperes: steps below `switchIndex` use range `first`, the others `second`;
// the voltage is corrected by the drop across measuring resistor `resistor`.
void convertScan(double *data, uint32_t syncPoints, uint32_t steps, double divisor, const ConversionCoefficients &c,
                 int resistor, int first, int second, uint32_t switchIndex);
// Only the division (calibration works on scaled sums).
void scaleScan(double *data, uint64_t count, double divisor);
