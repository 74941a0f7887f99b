// The band link from a caller's side, against a virtual band that bandhost
// runs and steers: every operation and its records, the trace, faults, a
// silent band, a band pulled out, a port that is not there, reopening, and
// a link handle. The
// same source is built for Linux and for Windows; both print the same lines
// on standard output (answers, records and the library's trace), which the
// test compares. A failed check prints a FAIL line and fails the run.
//
//   linkcheck [--device PATH]   (PATH: the band's device, bound to the port)
#include <bandlink.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>

namespace {

constexpr uint8_t kPort = 42;       // bandhost links COM42 to the band
constexpr uint8_t kAbsentPort = 43; // nothing behind \\.\COM43 or /dev/ttyACM43
// The longest wait of an operation on a silent band: the 20 ms pause and six
// single-byte reads of 110 ms each.
constexpr long kSilentBudgetMs = 20 + 6 * 110;

int failures = 0;
std::string device; // empty: the port's default device

void check(bool ok, const char *what, int line)
{
    if (!ok) {
        ++failures;
        std::printf("FAIL line %d: %s\n", line, what);
    }
}
#define CHECK(condition) check((condition), #condition, __LINE__)

template <typename Call>
long msTaken(Call call)
{
    const auto start = std::chrono::steady_clock::now();
    call();
    const auto taken = std::chrono::steady_clock::now() - start;
    return long(std::chrono::duration_cast<std::chrono::milliseconds>(taken).count());
}

// One request to bandhost on standard error; its answer on standard input.
std::string host(const std::string &request)
{
    std::fprintf(stderr, "band: %s\n", request.c_str());
    std::fflush(stderr);
    char line[512];
    if (std::fgets(line, sizeof line, stdin) == nullptr) {
        CHECK(!"bandhost answers");
        return {};
    }
    line[std::strcspn(line, "\r\n")] = '\0';
    return line;
}

void bindPort()
{
    if (!device.empty())
        uart_bind_device_path(kPort, device.c_str());
}

// A fresh port for the band: streams, late answers and hang-ups stay behind.
void replug()
{
    const std::string answer = host("replug");
    CHECK(answer.rfind("ok ", 0) == 0);
    if (!device.empty())
        device = answer.substr(3);
    bindPort();
}

void show(const char *what, bool result, const void *record, size_t size)
{
    std::printf("%s: %s", what, result ? "true" : "false");
    for (size_t i = 0; i < size; ++i)
        std::printf(" %02x", static_cast<const uint8_t *>(record)[i]);
    std::printf("\n");
}

struct Operation {
    const char *name;
    int size; // record bytes; 0: command without reply
    bool (*call)(uint8_t *record);
};

template <typename T> T *as(uint8_t *record) { return reinterpret_cast<T *>(record); }

const Operation kOperations[] = {
    {"version", 10, [](uint8_t *r) { return sb_getVersion(as<sb_version_t>(r)); }},
    {"set time", 6, [](uint8_t *r) { return sb_setTime(as<sb_time_t>(r)); }},
    {"get time", 6, [](uint8_t *r) { return sb_getTime(as<sb_time_t>(r)); }},
    {"set conf", 6, [](uint8_t *r) { return sb_setSBConf(as<sb_conf_t>(r)); }},
    {"get conf", 6, [](uint8_t *r) { return sb_getSBConf(as<sb_conf_t>(r)); }},
    {"set led", 2, [](uint8_t *r) { return sb_setLed(as<sb_led_t>(r)); }},
    {"get led", 2, [](uint8_t *r) { return sb_getLed(as<sb_led_t>(r)); }},
    {"set alarms", 32, [](uint8_t *r) { return sb_setAlarmClock(as<sb_alarm_t>(r)); }},
    {"get alarms", 32, [](uint8_t *r) { return sb_getAlarmClock(as<sb_alarm_t>(r)); }},
    {"stat", 12, [](uint8_t *r) { return sb_getSBStat(as<sb_stat_t>(r)); }},
    {"day data", 16, [](uint8_t *r) { return sb_getSBDayData(as<sb_day_data_t>(r)); }},
    {"day stat 0", 16, [](uint8_t *r) { return sb_getDayStat(0, as<sb_day_stat_t>(r)); }},
    {"day stat 3", 16, [](uint8_t *r) { return sb_getDayStat(3, as<sb_day_stat_t>(r)); }},
    {"day stat 6", 16, [](uint8_t *r) { return sb_getDayStat(6, as<sb_day_stat_t>(r)); }},
    {"set index", 3, [](uint8_t *r) { return sb_setReceiveMinStat(as<sb_index_t>(r)); }},
    {"min stat", 16, [](uint8_t *r) { return sb_getMinStat(r); }},
    {"upload", 16, [](uint8_t *r) { return sb_getUpload(r); }},
    {"start upload", 0, [](uint8_t *) { return sb_setStartUpdata(); }},
    {"stop upload", 0, [](uint8_t *) { return sb_setStopUpdata(); }},
    {"reset", 0, [](uint8_t *) { return sb_reset(); }},
    {"upgrade", 0, [](uint8_t *) { return sb_upgrade(); }},
};

const Operation &operation(const char *name)
{
    for (const Operation &o : kOperations) {
        if (std::strcmp(o.name, name) == 0)
            return o;
    }
    std::abort();
}

// Runs one operation on a record filled with value (the rest 0xEE, so that a
// record left untouched shows) and prints the result and the record.
bool run(const char *name, const std::string &value = {})
{
    const Operation &o = operation(name);
    uint8_t record[256];
    std::memset(record, 0xEE, sizeof record);
    std::memcpy(record, value.data(), value.size());
    const bool result = o.call(record);
    show(name, result, record, size_t(o.size));
    return result;
}

void closedLinkAndNullRecords()
{
    std::printf("== closed link\n");
    uint8_t record[256] = {};
    for (const Operation &o : kOperations)
        CHECK(!o.call(record));
    CHECK(!uart_setSpeed(115200) && !uart_setProperty(8, 1, 'N') && !uart_set(115200, 8, 1, 'N'));
    CHECK(uart_send(record, 6) == 0 && uart_recv(record, 6) == 0);
    CHECK(sb_init(kPort));
    for (const Operation &o : kOperations)
        CHECK(o.size == 0 || !o.call(nullptr));
    sb_exit();
    sb_exit();
}

void serialLayer()
{
    std::printf("== serial port\n");
    CHECK(uart_open(kPort));
    for (int rate : {115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 600, 300})
        CHECK(uart_setSpeed(rate));
    for (int rate : {14400, 110, 0, -1})
        CHECK(!uart_setSpeed(rate));
    CHECK(uart_setProperty(8, 1, 'N') && uart_setProperty(8, 1, 'n') && uart_setProperty(8, 2, 'N'));
    CHECK(uart_setProperty(8, 0, 'N'));
    // What a pseudo-terminal makes of framings it cannot hold is its own
    // affair, but both builds must report the same.
    std::printf("5E1 6e1 7O1 8o2 taken:");
    for (bool taken : {uart_setProperty(5, 1, 'E'), uart_setProperty(6, 1, 'e'), uart_setProperty(7, 1, 'O'),
                       uart_setProperty(8, 2, 'o')})
        std::printf(" %d", int(taken));
    std::printf("\n");
    CHECK(!uart_setProperty(9, 1, 'N') && !uart_setProperty(4, 1, 'N') && !uart_setProperty(8, 1, 'M'));
    CHECK(!uart_set(9600, 8, 1, 'X'));
    CHECK(uart_set(115200, 8, 1, 'N'));

    // A version request and its reply byte for byte, then a silent port.
    const uint8_t request[] = {0xAA, 0x80, 0xFF, 0xFF, 0x00, 0x00};
    CHECK(uart_send(request, 6) == 6);
    uint8_t reply[32];
    std::memset(reply, 0xEE, sizeof reply);
    int32_t got = 0;
    // The reply may come in more than one piece.
    for (int i = 0; i < 5 && got < 16; ++i)
        got += uart_recv(reply + got, 16 - got);
    show("raw version", got == 16, reply, 17);
    int32_t silent = -1;
    const long waited = msTaken([&] { silent = uart_recv(reply, 5); });
    CHECK(silent == 0);
    CHECK(waited >= 130 && waited < 1500); // 10 ms a byte plus 100 ms
    std::fprintf(stderr, "a 5-byte read of a silent port gave up after %ld ms\n", waited);
    uart_close();
    uart_close();
}

void everyOperation()
{
    std::printf("== every operation\n");
    CHECK(sb_init(kPort));
    CHECK(run("version"));
    CHECK(run("set time", "\x1e\x2d\x0c\x0e\x02\x0f")); // 2015-03-15 12:45:30
    CHECK(run("get time"));
    CHECK(!run("set time", std::string("\x00\x00\x00\x0e\x0c\x0f", 6))); // a 13th month, refused
    // Bytes a terminal would act on (CR, LF, XON, XOFF, DEL) pass unchanged.
    CHECK(run("set conf", "\x0d\x0a\x11\x13\x7f\xff"));
    CHECK(run("get conf"));
    CHECK(run("set led", std::string("\x01\x00", 2)));
    CHECK(run("get led"));
    std::string every(32, '\0');
    for (int i = 0; i < 32; ++i)
        every[size_t(i)] = char(i); // every control character
    CHECK(run("set alarms", every));
    CHECK(run("get alarms"));
    CHECK(run("set time", std::string("\x00\x1e\x0b\x06\x05\x19", 6))); // 2025-06-07 11:30:00
    for (const char *name : {"stat", "day data", "day stat 0", "day stat 3", "day stat 6"})
        CHECK(run(name));
    sb_exit();
}

void streams()
{
    std::printf("== streams\n");
    CHECK(sb_init(kPort));
    CHECK(run("set index", "\x01\x02\x03"));
    CHECK(run("min stat") && run("min stat"));
    sb_exit();
    replug();
    CHECK(sb_init(kPort));
    CHECK(run("start upload"));
    CHECK(run("upload") && run("upload") && run("upload"));
    CHECK(run("stop upload"));
    sb_exit();
    replug();
}

void faultyAnswers()
{
    std::printf("== faulty answers\n");
    CHECK(sb_init(kPort));
    const struct { const char *fault; const char *operation; bool result; } cases[] = {
        {"ff stray-bytes", "version", true},
        {"ff payload-in-pieces", "version", true},
        {"ff wrong-check-byte", "version", false},
        {"ff wrong-length", "version", false},
        {"05 refused-write", "set time", false},
        {"02 stores-different-value", "set conf", true},
        {"02 none", "get conf", true},
    };
    for (const auto &c : cases) {
        std::printf("-- %s\n", c.fault);
        CHECK(host(std::string("fault ") + c.fault) == "ok");
        CHECK(run(c.operation, "\x1e\x2d\x0c\x0e\x02\x0f") == c.result);
    }

    std::printf("-- silent band\n");
    CHECK(host("fault ff no-answer") == "ok");
    bool result = true;
    const long waited = msTaken([&] { result = run("version"); });
    CHECK(!result);
    CHECK(waited >= kSilentBudgetMs - 60 && waited < 3 * kSilentBudgetMs);
    std::fprintf(stderr, "a silent band was given up after %ld ms\n", waited);

    std::printf("-- late answer\n");
    CHECK(host("fault ff late-answer") == "ok");
    CHECK(!run("version"));
    CHECK(host("clear") == "ok");
    sb_exit();
    replug(); // the late answer stays behind
}

void bandPulledOut()
{
    std::printf("== band pulled out\n");
    CHECK(sb_init(kPort));
    CHECK(host("fault ff drops-off") == "ok");
    CHECK(run("version"));
    CHECK(host("await-drop") == "dropped");
    bool result = true;
    long taken = msTaken([&] { result = run("get time"); });
    CHECK(!result);
    CHECK(taken < kSilentBudgetMs / 2); // the next command finds it gone at once
    sb_exit();
    replug();

    // Pulled out while the library waits for the reply.
    CHECK(sb_init(kPort));
    CHECK(host("fault ff no-answer") == "ok");
    CHECK(host("unplug-after 100") == "ok");
    taken = msTaken([&] { result = run("version"); });
    CHECK(!result);
#ifdef _WIN32
    // Wine's serial reads do not report a hang-up, so the library sees a
    // silent band; it must still give up within its budget.
    CHECK(taken < 3 * kSilentBudgetMs);
#else
    CHECK(taken < kSilentBudgetMs / 2);
#endif
    std::fprintf(stderr, "a band pulled out 100 ms into an exchange was noticed after %ld ms\n", taken);
    CHECK(!run("get time"));
    uint8_t byte = 0;
    CHECK(uart_recv(&byte, 1) == 0);
    sb_exit();
    CHECK(host("clear") == "ok");
    replug();
}

void restartUpgradeAndReopen()
{
    std::printf("== restart, upgrade, reopen\n");
    CHECK(sb_init(kPort));
    CHECK(run("reset"));
    CHECK(host("await-drop") == "restarted");
    sb_exit();
    replug();
    CHECK(sb_init(kPort));
    CHECK(run("upgrade"));
    CHECK(host("await-drop") == "upgraded");
    sb_exit();
    replug();

    CHECK(sb_init(kPort));
    sb_exit();
    CHECK(!run("version"));
    CHECK(sb_init(kPort));
    CHECK(sb_init(kPort)); // again without sb_exit, as a retrying program does
    CHECK(run("version"));
    sb_exit();
}

// The band through a link handle: the same exchanges and trace as through
// the process-wide link, which stays closed meanwhile.
void linkHandle()
{
    std::printf("== link handle\n");
    const std::string path = device.empty() ? "\\\\.\\COM" + std::to_string(kPort) : device;
    sb_link *link = sb_link_open(path.c_str());
    CHECK(link != nullptr);
    const sb_conf_t conf{61, 172, 0, 33, 9000};
    uint8_t record[256];
    std::memset(record, 0xEE, sizeof record);
    bool ok = sb_link_setSBConf(link, &conf);
    show("link set conf", ok, &conf, sizeof conf);
    CHECK(ok);
    ok = sb_link_getSBConf(link, as<sb_conf_t>(record));
    show("link get conf", ok, record, sizeof conf);
    CHECK(ok && std::memcmp(record, &conf, sizeof conf) == 0);
    ok = sb_link_getVersion(link, as<sb_version_t>(record));
    show("link version", ok, record, sizeof(sb_version_t));
    CHECK(ok);
    CHECK(!run("version"));
    sb_link_close(link);
    CHECK(sb_link_open("no-such-band-port") == nullptr);
    CHECK(!sb_link_getVersion(nullptr, as<sb_version_t>(record)));
    sb_link_close(nullptr);
}

void absentPort()
{
    std::printf("== absent port\n");
    CHECK(!sb_init(kAbsentPort));
    CHECK(!run("version"));
    CHECK(!uart_open(kAbsentPort));
    CHECK(uart_bind_device_path(kAbsentPort, "no-such-band-port"));
    CHECK(!sb_init(kAbsentPort));
    CHECK(!uart_bind_device_path(kAbsentPort, std::string(300, 'x').c_str()));
    CHECK(uart_bind_device_path(kAbsentPort, nullptr));
    CHECK(!uart_open(kAbsentPort));
}

// Every trace text: each item code in each direction, plus the edge cases
// of the uploading-data dump and the write result.
void traceTexts()
{
    std::printf("== trace\n");
    sb_cmd_t frame{};
    frame.header = SB_HEADER;
    frame.len = 32;
    for (int i = 0; i < 32; ++i)
        frame.payload[i] = uint8_t(0x3A + 7 * i);
    for (int opcode : {SB_OP_READ, SB_OP_WRITE, SB_OP_READ_REPLY, SB_OP_WRITE_REPLY}) {
        for (int item = 0; item < 256; ++item) {
            frame.opcode = uint8_t(opcode);
            frame.uuid = uint16_t(0xFF00 | item);
            if (opcode & 0x80)
                sb_dbg_cmd(&frame);
            else
                sb_dbg_evt(&frame);
        }
    }
    frame.opcode = SB_OP_READ_REPLY;
    frame.uuid = 0xFFFC;
    for (uint8_t len : {0, 5, 255}) {
        frame.len = len;
        sb_dbg_evt(&frame);
    }
    frame.opcode = SB_OP_WRITE_REPLY;
    frame.uuid = 0xFF05;
    frame.len = 1;
    frame.payload[0] = 0;
    sb_dbg_evt(&frame);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc == 3 && std::strcmp(argv[1], "--device") == 0)
        device = argv[2];
    bindPort();

    closedLinkAndNullRecords();
    serialLayer();
    everyOperation();
    streams();
    faultyAnswers();
    bandPulledOut();
    restartUpgradeAndReopen();
    linkHandle();
    absentPort();
    traceTexts();

    std::printf("== %s\n", failures == 0 ? "all checks passed" : "some checks failed");
    std::fflush(stdout);
    return failures == 0 ? 0 : 1;
}
