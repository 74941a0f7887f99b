// A link per band: eight links in eight threads against eight virtual
// bands, faults on some. No answer reaches another link, a failure stays on
// its own link, and the trace blocks of different links never mix and each
// names its band.
#include <bandlink.h>
#include <bandsim/virtualband.h>

#include <QtTest>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <thread>
#include <unistd.h>

using bandsim::Fault;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kBands = 8;
constexpr int kRounds = 5;
constexpr int kLateTime = 2;    // answers about the clock come late
constexpr int kPulledOut = 5;   // pulled out after two rounds
constexpr int kStray = 6;       // stray bytes before every settings reply
constexpr int kLateConf = 7;    // answers about the settings come late

// Each band's own settings, told apart by the weight.
sb_conf_t confOf(int band)
{
    return sb_conf_t{uint8_t(60 + band), 170, 1, 25, 8000};
}

bool sameConf(const sb_conf_t &a, const sb_conf_t &b)
{
    return memcmp(&a, &b, sizeof a) == 0;
}

enum Op { GetConf, GetVersion, SetTime, GetTime, OpCount };

struct Tally {
    int confRead = 0;          // settings read back that were this band's own
    int foreign = 0;           // settings read back that were not this band's
    int touchedByFailure = 0;  // failed reads that changed the record
    std::array<int, OpCount> failed{};
    int slowAfterUnplug = 0;   // a pulled-out band is noticed at once

    int failures() const { return failed[GetConf] + failed[GetVersion] + failed[SetTime] + failed[GetTime]; }
};

// One band's worker: the same round of operations, over and over.
void work(int band, sb_link *link, bandsim::VirtualBand &virtualBand, Tally &tally)
{
    const sb_conf_t own = confOf(band);
    const sb_time_t clock{30, 45, 12, 14, 2, 15};
    bool unplugged = false;
    auto run = [&](Op op, auto call) {
        const auto start = Clock::now();
        if (call())
            return true;
        ++tally.failed[op];
        if (unplugged && Clock::now() - start > std::chrono::milliseconds(300))
            ++tally.slowAfterUnplug;
        return false;
    };
    for (int round = 0; round < kRounds; ++round) {
        if (band == kPulledOut && round == 2) {
            virtualBand.unplug();
            unplugged = true;
        }
        sb_conf_t conf;
        memset(&conf, 0xEE, sizeof conf);
        if (run(GetConf, [&] { return sb_link_getSBConf(link, &conf); }))
            ++(sameConf(conf, own) ? tally.confRead : tally.foreign);
        else if (conf.weight != 0xEE || conf.goal != 0xEEEE)
            ++tally.touchedByFailure;
        sb_version_t version;
        sb_time_t time;
        run(GetVersion, [&] { return sb_link_getVersion(link, &version); });
        run(SetTime, [&] { return sb_link_setTime(link, &clock); });
        run(GetTime, [&] { return sb_link_getTime(link, &time); });
    }
}

// Sends standard output to a file while it lives.
class CapturedStdout {
public:
    CapturedStdout()
    {
        fflush(stdout);
        saved = dup(STDOUT_FILENO);
        file.open();
        dup2(file.handle(), STDOUT_FILENO);
    }
    QByteArray finish()
    {
        fflush(stdout);
        dup2(saved, STDOUT_FILENO);
        close(saved);
        file.seek(0);
        return file.readAll();
    }

private:
    QTemporaryFile file;
    int saved = -1;
};

// Every line of every block is whole and in its place, and each block
// begins with the line naming its band; counts, for each band, the settings
// read back (the event trace's line) that carry its own weight.
bool traceIsWhole(const QByteArray &trace, const std::array<QByteArray, kBands> &paths,
                  std::array<int, kBands> &confLines)
{
    const QList<QByteArray> lines = trace.split('\n');
    const char *const head[] = {"\tHeader: 0xaa", "\tOpcode: 0x", "\tBcc:    0x", "\tLen:    "};
    int band = -1; // whose block this is
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QByteArray &line = lines[i];
        if (line.startsWith("[band ")) {
            band = int(std::find(paths.begin(), paths.end(), line.mid(6).chopped(1)) - paths.begin());
            if (band == kBands || i + 1 >= lines.size() || !lines[i + 1].startsWith("[PC]  "))
                return false;
        } else if (line == "[PC]  ---->  [USB]" || line == "[PC]  <----  [USB]") {
            if (i == 0 || !lines[i - 1].startsWith("[band "))
                return false;
            for (int h = 0; h < 4; ++h) {
                if (i + 1 + h >= lines.size() || !lines[i + 1 + h].startsWith(head[h]))
                    return false;
            }
        } else if (!line.isEmpty() && !line.startsWith('\t')) {
            return false;
        }
        int weight, height;
        if (sscanf(line.constData(), "\t<weight:%d, height:%d", &weight, &height) == 2 && line.contains("goal:08000>")) {
            if (band < 0 || weight != 60 + band)
                return false;
            ++confLines[size_t(band)];
        }
    }
    return true;
}

} // namespace

class LinksTest : public QObject {
    Q_OBJECT
private slots:
    void openAndClose();
    void traceNamesALinksBand();
    void eventsStayOnTheirLink();
    void eightLinksInEightThreads();
};

void LinksTest::openAndClose()
{
    QVERIFY(sb_link_open(nullptr) == nullptr && sb_link_open("") == nullptr);
    QVERIFY(sb_link_open("/dev/no-such-band-port") == nullptr);
    sb_link_close(nullptr);
    uint8_t record[256];
    QVERIFY(!sb_link_getVersion(nullptr, reinterpret_cast<sb_version_t *>(record)));
    QVERIFY(!sb_link_setSBConf(nullptr, reinterpret_cast<const sb_conf_t *>(record)));
    QVERIFY(!sb_link_reset(nullptr) && !sb_link_upgrade(nullptr) && !sb_link_getUpload(nullptr, record));

    // A link and the process-wide link side by side, each on its own band.
    bandsim::VirtualBand first, second;
    QVERIFY(first.plugIn() && second.plugIn());
    sb_link *link = sb_link_open(second.devicePath().c_str());
    QVERIFY(link != nullptr);
    QVERIFY(sb_link_open(second.devicePath().c_str()) == nullptr); // one user at a time
    QVERIFY(uart_bind_device_path(44, first.devicePath().c_str()) && sb_init(44));
    const sb_conf_t one = confOf(1), two = confOf(2);
    QVERIFY(sb_setSBConf(&one) && sb_link_setSBConf(link, &two));
    sb_exit(); // closes the process-wide link only
    sb_conf_t conf;
    QVERIFY(sb_link_getSBConf(link, &conf) && sameConf(conf, confOf(2)));
    QVERIFY(sameConf(first.conf(), confOf(1)));
    QVERIFY(!sb_getSBConf(&conf));
    uart_bind_device_path(44, nullptr);
    sb_link_close(link);
    link = sb_link_open(second.devicePath().c_str()); // free again
    QVERIFY(link != nullptr);
    QVERIFY(sb_link_reset(link));
    sb_link_close(link);
}

// A link's blocks are the process-wide link's, each after a line naming its
// band, whether an operation or the caller prints them; without a name they
// are the process-wide link's, byte for byte, which stay exactly as they were.
void LinksTest::traceNamesALinksBand()
{
    bandsim::VirtualBand first, second;
    QVERIFY(first.plugIn() && second.plugIn());
    QVERIFY(uart_bind_device_path(44, first.devicePath().c_str()) && sb_init(44));
    sb_link *link = sb_link_open(second.devicePath().c_str());
    QVERIFY(link != nullptr);
    const sb_conf_t conf = confOf(3);
    sb_cmd_t frame{SB_HEADER, SB_OP_READ_REPLY, 0xFF05, 0, 6, {1, 2, 3, 4, 5, 6}};
    CapturedStdout processWide;
    QVERIFY(sb_setSBConf(&conf));
    sb_dbg_cmd(&frame);
    sb_dbg_evt(&frame);
    const QByteArray plain = processWide.finish();
    CapturedStdout ownLink;
    QVERIFY(sb_link_setSBConf(link, &conf));
    sb_link_dbg_cmd(link, &frame);
    sb_link_dbg_evt(link, &frame);
    const QByteArray named = ownLink.finish();
    QVERIFY(sb_link_set_trace_name(link, nullptr));
    CapturedStdout nameless;
    QVERIFY(sb_link_setSBConf(link, &conf));
    sb_link_dbg_cmd(link, &frame);
    sb_link_dbg_evt(link, &frame);
    const QByteArray unnamed = nameless.finish();
    sb_exit();
    uart_bind_device_path(44, nullptr);
    sb_link_close(link);

    QVERIFY(plain.startsWith("[PC]  ---->  [USB]\n") && plain.count("[PC]") == 4 && !plain.contains("[band"));
    QByteArray expected = plain;
    expected.replace("[PC]", "[band " + QByteArray::fromStdString(second.devicePath()) + "]\n[PC]");
    QCOMPARE(named, expected);
    QCOMPARE(unnamed, plain);
    QVERIFY(!sb_link_set_trace_name(nullptr, "x"));
}

// A band's unsolicited events reach its own link alone, in order; a link
// whose band says nothing gives up within its budget.
void LinksTest::eventsStayOnTheirLink()
{
    bandsim::Options everyFewMs;
    everyFewMs.minStatIntervalMs = 50;
    bandsim::VirtualBand uploading, counting(everyFewMs);
    QVERIFY(uploading.plugIn() && counting.plugIn());
    sb_link *first = sb_link_open(uploading.devicePath().c_str());
    sb_link *second = sb_link_open(counting.devicePath().c_str());
    QVERIFY(first != nullptr && second != nullptr);
    sb_cmd_t evt{};
    QVERIFY(!sb_link_recv_evt(nullptr, &evt, 5) && !sb_link_send_cmd(nullptr, &evt));

    QVERIFY(sb_link_setStartUpdata(first));
    for (uint32_t sequence = 0; sequence < 3; ++sequence) {
        QVERIFY(sb_link_recv_evt(first, &evt, 5));
        uint32_t got;
        memcpy(&got, evt.payload, sizeof got);
        QCOMPARE(int(evt.uuid & 0xFF), int(SB_ITEM_UPLOAD));
        QCOMPARE(got, sequence);
    }
    QElapsedTimer silence;
    silence.start();
    QVERIFY(!sb_link_recv_evt(second, &evt, 5));
    QVERIFY2(silence.elapsed() < 1500, QByteArray::number(silence.elapsed())); // six empty reads of 110 ms

    const sb_index_t index{0, 7};
    QVERIFY(sb_link_setReceiveMinStat(second, &index));
    QVERIFY(sb_link_recv_evt(second, &evt, 5));
    QCOMPARE(int(evt.uuid & 0xFF), int(SB_ITEM_INDEX));
    QCOMPARE(int(evt.len), int(sizeof(sb_min_stat_t)));
    // A frame sent on a link goes to its band alone.
    sb_cmd_t stop{SB_HEADER, SB_OP_WRITE, uint16_t(0xFF00 | SB_ITEM_STOP_UPLOAD), 0, 0, {}};
    uploading.clearCommandsReceived();
    counting.clearCommandsReceived();
    QVERIFY(sb_link_send_cmd(second, &stop));
    QTRY_COMPARE(counting.commandsReceived().size(), size_t(1));
    QVERIFY(uploading.commandsReceived().empty());
    sb_link_close(first);
    sb_link_close(second);
}

void LinksTest::eightLinksInEightThreads()
{
    std::array<std::unique_ptr<bandsim::VirtualBand>, kBands> bands;
    std::array<sb_link *, kBands> links{};
    std::array<Tally, kBands> tallies{};
    std::array<QByteArray, kBands> paths;
    for (int i = 0; i < kBands; ++i) {
        bands[size_t(i)] = std::make_unique<bandsim::VirtualBand>();
        QVERIFY(bands[size_t(i)]->plugIn());
        paths[size_t(i)] = QByteArray::fromStdString(bands[size_t(i)]->devicePath());
        links[size_t(i)] = sb_link_open(bands[size_t(i)]->devicePath().c_str());
        QVERIFY(links[size_t(i)] != nullptr);
        const sb_conf_t conf = confOf(i);
        QVERIFY(sb_link_setSBConf(links[size_t(i)], &conf));
    }
    bands[kLateTime]->setFault(SB_ITEM_TIME, Fault::LateAnswer);
    bands[kStray]->setFault(SB_ITEM_CONF, Fault::StrayBytes);
    bands[kLateConf]->setFault(SB_ITEM_CONF, Fault::LateAnswer);

    CapturedStdout captured;
    std::vector<std::thread> threads;
    for (int i = 0; i < kBands; ++i)
        threads.emplace_back(work, i, links[size_t(i)], std::ref(*bands[size_t(i)]), std::ref(tallies[size_t(i)]));
    for (std::thread &t : threads)
        t.join();
    const QByteArray trace = captured.finish();
    for (sb_link *link : links)
        sb_link_close(link);

    // A late answer holds up the band's answers behind it, so other items of
    // that link may fail too; a late answer of the same item and kind may be
    // taken (the protocol has no sequence number), but it is the same band's.
    for (int i = 0; i < kBands; ++i) {
        const Tally &t = tallies[size_t(i)];
        const QByteArray band = QString::asprintf("band %d: %d read, failed %d %d %d %d", i, t.confRead, t.failed[0],
                                                  t.failed[1], t.failed[2], t.failed[3]).toUtf8();
        QVERIFY2(t.foreign == 0 && t.touchedByFailure == 0, band);
        switch (i) {
        case kLateTime:
            QVERIFY2(t.failed[SetTime] > 0 && t.failed[GetTime] > 0, band);
            break;
        case kLateConf:
            QVERIFY2(t.failed[GetConf] > 0 && t.confRead + t.failed[GetConf] == kRounds, band);
            break;
        case kPulledOut: // every call after it fails, at once
            QVERIFY2(t.confRead == 2 && t.failures() == OpCount * (kRounds - 2) && t.slowAfterUnplug == 0, band);
            break;
        default: // stray bytes are skipped; healthy bands never fail
            QVERIFY2(t.confRead == kRounds && t.failures() == 0, band);
        }
    }
    std::array<int, kBands> confLines{};
    QVERIFY(traceIsWhole(trace, paths, confLines));
    for (int i = 0; i < kBands; ++i) // one read-back line for each settings read, under its own band's name
        QCOMPARE(confLines[size_t(i)], tallies[size_t(i)].confRead);
}

QTEST_GUILESS_MAIN(LinksTest)
#include "tst_links.moc"
