#include "ScanReadout.h"
#include "ScanMath.h"

#include <algorithm>

#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#  error "the stream words are read in place as little-endian 16-bit values"
#endif

namespace {
constexpr uint16_t kCountMask = 0x3FFF;
constexpr uint16_t kKeepAliveBit = 0x4000;
constexpr uint16_t kLastPacketBit = 0x8000;
constexpr uint32_t kSyncMask = 0x1FFFFFFF;
}

ScanStreamReader::ScanStreamReader() : buffer_(kBufferBytes / 2) {}

void ScanStreamReader::setWordsPerRead(uint32_t words)
{
    wordsPerRead_ = std::min<uint32_t>(std::max<uint32_t>(words, 1), kBufferBytes / 2);
    empty();
}

void ScanStreamReader::empty()
{
    pos_ = end_ = 0;
    words_ = buffer_.data();
}

bool ScanStreamReader::refill(BulkSource &source, ReadResult &r)
{
    uint32_t bytes = wordsPerRead_ * 2;
    if (!source.read(reinterpret_cast<uint8_t *>(buffer_.data()), bytes)) {
        empty();
        r.transferFailed = true;
        return false;
    }
    // Only what the transfer delivered is parsed.
    words_ = buffer_.data();
    pos_ = 0;
    end_ = std::min(bytes, wordsPerRead_ * 2) / 2;
    ++silentReads_;
    return true;
}

ReadResult ScanStreamReader::read(const ScanStreamLayout &layout, unsigned passes, double *data, BulkSource &source,
                                  const std::atomic<bool> &aborted, std::atomic<long> &valuesRead, uint32_t &syncWord)
{
    ReadResult r;
    const uint32_t rows = 2 * layout.syncPoints;
    const uint32_t columns = layout.steps;
    const uint64_t total = uint64_t(rows) * columns;
    silentReads_ = 0;

    auto fail = [&](std::string message, bool critical = false) {
        r.outcome = ReadOutcome::Failed;
        r.message = std::move(message);
        r.critical = critical;
        return r;
    };
    auto abort = [&] {
        r.outcome = ReadOutcome::Aborted;
        r.message.clear();
        return r;
    };

    for (unsigned pass = 0; pass < passes; ++pass) {
        bool packetOpen = false, lastPacket = false, haveFirst = false, complete = false;
        uint32_t remaining = 0;
        uint16_t first = 0;
        uint64_t n = 0;
        uint32_t row = 0, column = 0;
        double *dst = data;

        while (!complete) {
            if (aborted.load(std::memory_order_relaxed))
                return abort();
            if (pos_ >= end_) {
                // An abort raises its flag before it clears the run bit: seen
                // stopped, the flag is looked at again before it is a fault.
                if (!source.running())
                    return aborted.load() ? abort()
                                          : fail(ScanMath::format("Scan stopped while its data were read (read %llu integers)",
                                                                  static_cast<unsigned long long>(n)));
                if (!refill(source, r))
                    return fail(std::string());
                if (silentReads_ > kSilentReadLimit && !layout.triggerMode)
                    return fail(ScanMath::format("Data reading interrupted because VESK doesn't send any data. "
                                                 "Successfully read %d data", static_cast<int>(n)), true);
                continue;
            }
            // Run of whole data values inside one packet: the hot loop.
            if (packetOpen && !haveFirst && n < total) {
                uint64_t pairs = std::min<uint64_t>(std::min(remaining, end_ - pos_) / 2, total - n);
                if (lastPacket && 2 * pairs == remaining)
                    --pairs; // the packet's final word goes through the checks below
                if (pairs > 0) {
                    const uint16_t *p = words_ + pos_;
                    for (uint64_t i = 0; i < pairs; ++i, p += 2) {
                        *dst += static_cast<int32_t>(uint32_t(p[0]) | (uint32_t(p[1]) << 16));
                        if (++row == rows) {
                            row = 0;
                            dst = data + ++column;
                        } else {
                            dst += columns;
                        }
                    }
                    pos_ += static_cast<uint32_t>(2 * pairs);
                    remaining -= static_cast<uint32_t>(2 * pairs);
                    n += pairs;
                    valuesRead.fetch_add(static_cast<long>(pairs), std::memory_order_relaxed);
                    if (remaining == 0)
                        packetOpen = false;
                    continue;
                }
            }
            const uint16_t w = words_[pos_++];
            if (!packetOpen) {
                const uint32_t count = w & kCountMask;
                if (count == 0) {
                    if (!(w & kKeepAliveBit) && !layout.triggerMode)
                        return fail(ScanMath::format("Either VESKB lost USB connection to PC or scan doesn't run "
                                                     "anymore (read %d integers)", static_cast<int>(n)));
                    continue;
                }
                packetOpen = true;
                remaining = count;
                lastPacket = (w & kLastPacketBit) != 0;
                silentReads_ = 0;
                continue;
            }
            const bool endOfPacket = --remaining == 0;
            if (endOfPacket)
                packetOpen = false;
            if (!haveFirst) {
                first = w;
                haveFirst = true;
            } else {
                haveFirst = false;
                const uint32_t value = uint32_t(first) | (uint32_t(w) << 16);
                if (n < total) {
                    *dst += static_cast<int32_t>(value);
                    if (++row == rows) {
                        row = 0;
                        dst = data + ++column;
                    } else {
                        dst += columns;
                    }
                } else if (n == total) {
                    if (layout.synchronized && (value & kSyncMask) != (syncWord & kSyncMask)) {
                        const uint32_t old = syncWord;
                        syncWord = value;
                        return fail(ScanMath::format("Sync Frequency changed during the scan (old: 0x%08X, new: 0x%08X)",
                                                     old, value));
                    }
                } else if (n == total + 1) {
                    r.trailer = uint32_t(first) * 65536u + w;
                    if (endOfPacket && lastPacket)
                        complete = true;
                } else if (n == 3 * total) {
                    return fail(ScanMath::format("Receiving data packet is too long (%llu) -> it should be %llu long. "
                                                 "Reading interrupted...",
                                                 static_cast<unsigned long long>(3 * total),
                                                 static_cast<unsigned long long>(total + 2)));
                }
                ++n;
                valuesRead.fetch_add(1, std::memory_order_relaxed);
            }
            if (endOfPacket && lastPacket && !complete)
                return fail(ScanMath::format("Received data packet contains %s data (%llu) then it should have (%llu)",
                                             n < total + 2 ? "less" : "more", static_cast<unsigned long long>(n),
                                             static_cast<unsigned long long>(total + 2)));
        }
        if (aborted.load(std::memory_order_relaxed))
            return abort();
        if (!source.running())
            return aborted.load() ? abort()
                                  : fail(ScanMath::format("Scan stopped while its data were read (read %llu integers)",
                                                          static_cast<unsigned long long>(n)));
    }
    r.outcome = ReadOutcome::Complete;
    return r;
}

void scaleScan(double *data, uint64_t count, double divisor)
{
    for (uint64_t k = 0; k < count; ++k)
        data[k] /= divisor;
}

void convertScan(double *data, uint32_t syncPoints, uint32_t steps, double divisor, const ConversionCoefficients &c,
                 int resistor, int first, int second, uint32_t switchIndex)
{
    const double R = c.resI[std::clamp(resistor, 0, 2)];
    const double v0 = c.adcV[0], v1 = c.adcV[1];
    const uint32_t split = std::min(switchIndex, steps);
    for (uint32_t j = 0; j < syncPoints; ++j) {
        double *vRow = data + uint64_t(2 * j) * steps;
        double *iRow = vRow + steps;
        auto convert = [&](uint32_t from, uint32_t to, int range) {
            const double i0 = c.adcI[range][0], i1 = c.adcI[range][1];
            for (uint32_t i = from; i < to; ++i) {
                const double current = iRow[i] / divisor * i1 + i0;
                iRow[i] = current;
                vRow[i] = vRow[i] / divisor * v1 + v0 - current * R;
            }
        };
        convert(0, split, std::clamp(first, 0, 5));
        convert(split, steps, std::clamp(second, 0, 5));
    }
}
