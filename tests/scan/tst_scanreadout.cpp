// The scan stream parser against hand-made streams: framing, block and
// packet boundaries, averaging passes, every failure message, abort, short
// bulk transfers; and the conversion with a gain switch.
#include <ScanReadout.h>

#include <QtTest>
#include <cstring>

namespace {

// Serves a word stream in bulk transfers of a fixed size.
class VectorSource : public BulkSource {
public:
    std::vector<uint16_t> words;
    size_t pos = 0;
    uint32_t shortBy = 0;          // bytes missing from every transfer
    int failAt = -1;               // transfer number that fails
    bool run = true;
    int reads = 0;
    bool read(uint8_t *buffer, uint32_t &bytes) override
    {
        if (reads++ == failAt)
            return false;
        std::memset(buffer, 0xEE, bytes); // what is not delivered must not be parsed
        const uint32_t deliver = bytes - shortBy;
        for (uint32_t b = 0; b + 1 < deliver; b += 2) {
            const uint16_t w = pos < words.size() ? words[pos++] : 0x4000; // keep-alives when dry
            buffer[b] = uint8_t(w & 0xFF);
            buffer[b + 1] = uint8_t(w >> 8);
        }
        bytes = deliver;
        return true;
    }
    bool running() const override { return run; }
};

void putValue(std::vector<uint16_t> &w, int32_t v)
{
    w.push_back(uint16_t(uint32_t(v) & 0xFFFF));
    w.push_back(uint16_t(uint32_t(v) >> 16));
}

// One scan: values, SYNC value and trailer in packets of at most `packet` words,
// with a keep-alive packet between data packets.
std::vector<uint16_t> scanStream(const std::vector<int32_t> &values, uint32_t sync, uint32_t trailer, size_t packet)
{
    std::vector<uint16_t> body;
    for (int32_t v : values)
        putValue(body, v);
    putValue(body, int32_t(sync));
    body.push_back(uint16_t(trailer >> 16)); // trailer: high word first
    body.push_back(uint16_t(trailer & 0xFFFF));
    std::vector<uint16_t> out;
    for (size_t i = 0; i < body.size(); i += packet) {
        const size_t n = std::min(packet, body.size() - i);
        const bool last = i + n == body.size();
        out.push_back(uint16_t(n | (last ? 0x8000 : 0)));
        out.insert(out.end(), body.begin() + long(i), body.begin() + long(i + n));
        if (!last)
            out.push_back(0x4000);
    }
    return out;
}

std::vector<int32_t> ramp(size_t n)
{
    std::vector<int32_t> v(n);
    for (size_t k = 0; k < n; ++k)
        v[k] = int32_t(k * 70001) - 200000; // both halves of the words matter, some negative
    return v;
}

// A reader, its layout, and what one read takes; every read starts on zeroed data.
struct Read {
    ScanStreamReader reader;
    ScanStreamLayout layout;
    std::vector<double> data;
    std::atomic<bool> aborted{false};
    std::atomic<long> read{0};
    uint32_t sync = 0;
    Read(uint32_t steps, uint32_t wordsPerRead = 0)
    {
        layout.steps = steps;
        if (wordsPerRead)
            reader.setWordsPerRead(wordsPerRead);
    }
    ReadResult operator()(BulkSource &src, unsigned passes = 1)
    {
        data.assign(2 * layout.syncPoints * layout.steps, 0.0);
        return reader.read(layout, passes, data.data(), src, aborted, read, sync);
    }
};

} // namespace

class TestScanReadout : public QObject {
    Q_OBJECT
private slots:
    void layoutAndBoundaries();
    void passesAndLeftoverWords_data();
    void passesAndLeftoverWords();
    void failures_data();
    void failures();
    void silenceIsCritical();
    void failedAndShortTransfers();
    void abortEndsRead();
    void conversionWithGainSwitch();
};

void TestScanReadout::layoutAndBoundaries()
{
    // P = 2 sync points, N = 3 steps: 12 values, row k mod 4, column k div 4.
    const auto values = ramp(12);
    VectorSource src;
    src.words = scanStream(values, 0x9C3F, 0x00012345, 5); // odd packets split values
    Read read(3, 7); // odd transfers split values too
    read.layout.syncPoints = 2;
    read.layout.synchronized = true;
    read.sync = 0x9C3F;
    const ReadResult r = read(src);
    QVERIFY2(r.outcome == ReadOutcome::Complete, r.message.c_str());
    QCOMPARE(r.trailer, 0x00012345u);
    for (size_t k = 0; k < values.size(); ++k)
        QCOMPARE(read.data[(k % 4) * 3 + k / 4], double(values[k]));
    QCOMPARE(read.read.load(), 14L); // values, SYNC and trailer
}

// Sweeps summed over passes, the next scan's words left for the next read:
// whole values per packet and transfer, and values split across both.
void TestScanReadout::passesAndLeftoverWords_data()
{
    QTest::addColumn<int>("packetWords");
    QTest::addColumn<int>("transferWords");
    QTest::newRow("whole values") << 64 << 4096;
    QTest::newRow("split values") << 5 << 7;
}

void TestScanReadout::passesAndLeftoverWords()
{
    QFETCH(int, packetWords);
    QFETCH(int, transferWords);
    const auto a = ramp(4);
    std::vector<int32_t> b = {5, -6, 7, -8};
    VectorSource src;
    for (const auto &v : {a, b, a})
        for (uint16_t w : scanStream(v, 0, 300, packetWords))
            src.words.push_back(w);
    for (uint16_t w : scanStream(b, 0, 999, packetWords)) // left in the buffer for the next read
        src.words.push_back(w);
    Read read(2, transferWords);
    ReadResult r = read(src, 3);
    QVERIFY2(r.outcome == ReadOutcome::Complete, r.message.c_str());
    for (size_t k = 0; k < 4; ++k)
        QCOMPARE(read.data[(k % 2) * 2 + k / 2], double(2 * a[k] + b[k]));
    if (transferWords > int(src.words.size()))
        QVERIFY(!read.reader.isEmpty());
    r = read(src);
    QVERIFY2(r.outcome == ReadOutcome::Complete, r.message.c_str());
    QCOMPARE(r.trailer, 999u);
    QCOMPARE(read.data[0], 5.0);
    QCOMPARE(read.data[2], -6.0);
}

void TestScanReadout::failures_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<bool>("synchronized");
    QTest::addColumn<bool>("trigger");
    QTest::addColumn<QString>("message");
    QTest::newRow("empty header") << "zeroHeader" << false << false
                                  << "Either VESKB lost USB connection to PC or scan doesn't run anymore (read 0 integers)";
    QTest::newRow("empty header in trigger mode") << "zeroHeader" << false << true << "";
    QTest::newRow("last packet one word early") << "early" << false << false
                                                << "Received data packet contains less data (9) then it should have (10)";
    QTest::newRow("extra value") << "extra" << false << false
                                 << "Received data packet contains more data (11) then it should have (10)";
    QTest::newRow("too long") << "long" << false << false
                              << "Receiving data packet is too long (24) -> it should be 10 long. Reading interrupted...";
    QTest::newRow("sync changed") << "sync" << true << false
                                  << "Sync Frequency changed during the scan (old: 0x00009C3F, new: 0x00009C40)";
    QTest::newRow("sync ignored in time-averaged scan") << "sync" << false << false << "";
    QTest::newRow("scan stopped") << "stopped" << false << false
                                  << "Scan stopped while its data were read (read 0 integers)";
}

void TestScanReadout::failures()
{
    QFETCH(QString, fault);
    QFETCH(bool, synchronized);
    QFETCH(bool, trigger);
    QFETCH(QString, message);
    const auto values = ramp(8); // P = 1, N = 4: total 8
    VectorSource src;
    if (fault == "zeroHeader")
        src.words.push_back(0x0000);
    if (fault == "early") {
        src.words = scanStream(values, 0, 1, 1000);
        src.words.pop_back();
        src.words[0] = uint16_t((src.words[0] & 0x8000) | ((src.words[0] & 0x3FFF) - 1));
    } else if (fault == "extra") {
        auto more = values;
        more.push_back(42);
        src.words = scanStream(more, 0, 1, 1000);
    } else if (fault == "long") {
        src.words.push_back(uint16_t(60));
        for (int i = 0; i < 60; ++i)
            src.words.push_back(uint16_t(i));
    } else {
        for (uint16_t w : scanStream(values, fault == "sync" ? 0x9C40 : 0x9C3F, 1, 1000))
            src.words.push_back(w);
    }
    src.run = fault != "stopped";
    Read read(4, 16);
    read.layout.synchronized = synchronized;
    read.layout.triggerMode = trigger;
    read.sync = 0x9C3F;
    const ReadResult r = read(src);
    if (message.isEmpty()) {
        QVERIFY2(r.outcome == ReadOutcome::Complete, r.message.c_str());
        return;
    }
    QVERIFY(r.outcome == ReadOutcome::Failed);
    QCOMPARE(QString::fromStdString(r.message), message);
    QVERIFY(!r.critical);
    if (fault == "sync")
        QCOMPARE(read.sync, 0x9C40u); // the driver's word takes the new value
}

void TestScanReadout::silenceIsCritical()
{
    VectorSource src; // nothing but keep-alives
    Read read(1, 8);
    const ReadResult r = read(src);
    QVERIFY(r.outcome == ReadOutcome::Failed);
    QVERIFY(r.critical);
    QCOMPARE(QString::fromStdString(r.message),
             QString("Data reading interrupted because VESK doesn't send any data. Successfully read 0 data"));
    QCOMPARE(src.reads, 7001);
}

void TestScanReadout::failedAndShortTransfers()
{
    const auto values = ramp(4);
    VectorSource src;
    src.words = scanStream(values, 0, 77, 3);
    src.shortBy = 6; // each transfer brings 5 of its 8 words
    Read read(2, 8);
    ReadResult r = read(src);
    QVERIFY2(r.outcome == ReadOutcome::Complete, r.message.c_str());
    QCOMPARE(r.trailer, 77u);
    QCOMPARE(read.data[1], double(values[2]));

    VectorSource failing;
    failing.words = scanStream(values, 0, 77, 3);
    failing.failAt = 1;
    read.reader.setWordsPerRead(8);
    r = read(failing);
    QVERIFY(r.outcome == ReadOutcome::Failed);
    QVERIFY(r.transferFailed);
    QVERIFY(read.reader.isEmpty());
}

void TestScanReadout::abortEndsRead()
{
    VectorSource src;
    src.words = scanStream(ramp(4), 0, 1, 3);
    Read read(2);
    read.aborted = true;
    const ReadResult r = read(src);
    QVERIFY(r.outcome == ReadOutcome::Aborted);
    QVERIFY(r.message.empty());
    QCOMPARE(src.reads, 0);
}

void TestScanReadout::conversionWithGainSwitch()
{
    // One sync point, 4 steps; raw sums divided by 2.
    std::vector<double> data = {20, 20, 20, 20, 200, 200, 200, 200};
    ConversionCoefficients c;
    c.adcV[0] = 1.0;
    c.adcV[1] = 0.5;
    c.adcI[2][0] = 0.0;
    c.adcI[2][1] = 1e-6;   // LOW gain of the medium resistor
    c.adcI[3][0] = 1e-7;
    c.adcI[3][1] = 1e-7;   // HIGH gain
    c.resI[1] = 300;
    convertScan(data.data(), 1, 4, 2.0, c, 1, 2, 3, 2);
    for (int i = 0; i < 4; ++i) {
        const double current = i < 2 ? 100 * 1e-6 : 100 * 1e-7 + 1e-7;
        QCOMPARE(data[4 + i], current);
        QCOMPARE(data[i], 10 * 0.5 + 1.0 - current * 300);
    }
    // Index 0: every step with the first range.
    std::vector<double> same = {2, 2, 4, 4};
    convertScan(same.data(), 1, 2, 1.0, c, 1, 3, 3, 0);
    QCOMPARE(same[2], 4 * 1e-7 + 1e-7);
    QCOMPARE(same[3], 4 * 1e-7 + 1e-7);
}

QTEST_GUILESS_MAIN(TestScanReadout)
#include "tst_scanreadout.moc"
