// The link and its frames: a 6-byte head (0xAA, opcode, uuid, check byte,
// length) and up to 255 payload bytes, guarded by one xor check byte.
#include "bandlink.h"
#include "link_internal.h"
#include "link_state.h"

using namespace bandlink;

namespace {

const int32_t kRestOfHead = SB_HEAD_SIZE - 1;

uint8_t checkByte(const sb_cmd_t &frame)
{
    uint8_t check = frame.len;
    for (int i = 0; i < frame.len; ++i)
        check ^= frame.payload[i];
    return check;
}

// Drops bytes until the frame start, spending one of readsLeft on each
// single-byte read.
bool huntFrameStart(uint8_t *start, int &readsLeft, Deadline deadline)
{
    while (readsLeft > 0) {
        --readsLeft;
        // A read that brought nothing is a miss whatever the record held.
        if (receiveBy(start, 1, deadline) == 1 && *start == SB_HEADER)
            return true;
    }
    return false;
}

bool readPayload(sb_cmd_t *frame, uint8_t tries, Deadline deadline)
{
    const int32_t wanted = frame->len;
    int32_t got = receiveBy(frame->payload, wanted, deadline);
    for (int extra = 0; got < wanted; ++extra) {
        if (extra >= tries)
            return false;
        got += receiveBy(frame->payload + got, wanted - got, deadline);
    }
    return true;
}

} // namespace

bool sb_init(uint8_t port)
{
    const bool ready = uart_open(port) && uart_set(115200, 8, 1, 'N');
    // A port that opened but would not take its settings is closed again,
    // so that the next sb_init finds it free.
    if (!ready)
        uart_close();
    linkState().linkOpen = ready;
    return ready;
}

void sb_exit(void)
{
    LinkState &state = linkState();
    if (state.linkOpen)
        uart_close();
    state.linkOpen = false;
}

bool sb_send_cmd(sb_cmd_t *cmd)
{
    if (cmd == nullptr)
        return false;
    cmd->bcc = checkByte(*cmd);
    const int32_t size = SB_HEAD_SIZE + cmd->len;
    return uart_send(reinterpret_cast<const uint8_t *>(cmd), size) == size;
}

bool bandlink::receiveFrame(sb_cmd_t *evt, uint8_t tries, int &startReads, Deadline deadline)
{
    uint8_t *bytes = reinterpret_cast<uint8_t *>(evt);
    if (evt == nullptr || !huntFrameStart(bytes, startReads, deadline))
        return false;
    // A head cut short must not pass as an empty reply.
    if (receiveBy(bytes + 1, kRestOfHead, deadline) != kRestOfHead)
        return false;
    if (evt->opcode > SB_OP_WRITE_REPLY)
        return false;
    return readPayload(evt, tries, deadline) && checkByte(*evt) == evt->bcc;
}

// The frame-start reads of a silent band, then the longest frame at the
// per-byte timeout: a length byte garbled to 255 cannot stretch this to
// six full payload reads.
bool sb_recv_evt(sb_cmd_t *evt, uint8_t tries)
{
    int startReads = tries + 1;
    const int64_t budgetMs = startReads * (kByteTimeoutMs + kTransferTimeoutMs)
                             + kByteTimeoutMs * (SB_HEAD_SIZE + 255);
    const Deadline deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(budgetMs);
    return receiveFrame(evt, tries, startReads, deadline);
}
