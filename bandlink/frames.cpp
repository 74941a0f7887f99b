// The link and its frames: a 6-byte head (0xAA, opcode, uuid, check byte,
// length) and up to 255 payload bytes, guarded by one xor check byte.
#include "bandlink.h"
#include "link_internal.h"
#include "link_state.h"

#include <cstdio>
#include <cstring>
#include <new>

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
bool huntFrameStart(sb_link &link, uint8_t *start, int &readsLeft, Deadline deadline)
{
    while (readsLeft > 0) {
        --readsLeft;
        // A read that brought nothing is a miss whatever the record held.
        if (receiveBy(link, start, 1, deadline) == 1 && *start == SB_HEADER)
            return true;
    }
    return false;
}

bool readPayload(sb_link &link, sb_cmd_t *frame, uint8_t tries, Deadline deadline)
{
    const int32_t wanted = frame->len;
    int32_t got = receiveBy(link, frame->payload, wanted, deadline);
    for (int extra = 0; got < wanted; ++extra) {
        if (extra >= tries)
            return false;
        got += receiveBy(link, frame->payload + got, wanted - got, deadline);
    }
    return true;
}

} // namespace

bool bandlink::openLink(sb_link &link, const char *path)
{
    const bool ready = openPort(link, path) && setLine(link, 115200, 8, 1, 'N');
    // A port that opened but would not take its settings is closed again,
    // so that the next open finds it free.
    if (!ready)
        closePort(link);
    link.linkOpen = ready;
    return ready;
}

void bandlink::closeLink(sb_link &link)
{
    if (link.linkOpen)
        closePort(link);
    link.linkOpen = false;
}

bool bandlink::sendFrame(sb_link &link, sb_cmd_t *cmd)
{
    if (cmd == nullptr)
        return false;
    cmd->bcc = checkByte(*cmd);
    const int32_t size = SB_HEAD_SIZE + cmd->len;
    return sendBytes(link, reinterpret_cast<const uint8_t *>(cmd), size) == size;
}

bool bandlink::receiveFrame(sb_link &link, sb_cmd_t *evt, uint8_t tries, int &startReads, Deadline deadline)
{
    uint8_t *bytes = reinterpret_cast<uint8_t *>(evt);
    if (evt == nullptr || !huntFrameStart(link, bytes, startReads, deadline))
        return false;
    // A head cut short must not pass as an empty reply.
    if (receiveBy(link, bytes + 1, kRestOfHead, deadline) != kRestOfHead)
        return false;
    if (evt->opcode > SB_OP_WRITE_REPLY)
        return false;
    return readPayload(link, evt, tries, deadline) && checkByte(*evt) == evt->bcc;
}

bandlink::Deadline bandlink::frameDeadline(uint8_t tries, uint8_t payloadLength)
{
    const int64_t silentMs = (int64_t(tries) + 1) * (kByteTimeoutMs + kTransferTimeoutMs);
    return std::chrono::steady_clock::now()
           + std::chrono::milliseconds(silentMs + kByteTimeoutMs * (SB_HEAD_SIZE + payloadLength));
}

// Up to the longest frame: a length byte garbled to 255 cannot stretch
// this to six full payload reads.
bool bandlink::receiveFrame(sb_link &link, sb_cmd_t *evt, uint8_t tries)
{
    int startReads = tries + 1;
    return receiveFrame(link, evt, tries, startReads, frameDeadline(tries, 255));
}

bool sb_init(uint8_t port)
{
    PortPath buffer;
    return openLink(*defaultLink(), portDevicePath(port, buffer));
}

void sb_exit(void)
{
    closeLink(*defaultLink());
}

bool sb_send_cmd(sb_cmd_t *cmd)
{
    return sendFrame(*defaultLink(), cmd);
}

bool sb_recv_evt(sb_cmd_t *evt, uint8_t tries)
{
    return receiveFrame(*defaultLink(), evt, tries);
}

sb_link *sb_link_open(const char *device_path)
{
    if (device_path == nullptr || device_path[0] == '\0')
        return nullptr;
    sb_link *link = new (std::nothrow) sb_link;
    if (link != nullptr)
        snprintf(link->name, sizeof link->name, "%s", device_path);
    if (link != nullptr && !openLink(*link, device_path)) {
        delete link;
        link = nullptr;
    }
    return link;
}

void sb_link_close(sb_link *link)
{
    if (link == nullptr)
        return;
    closeLink(*link);
    delete link;
}

bool sb_link_set_trace_name(sb_link *link, const char *name)
{
    if (link == nullptr)
        return false;
    if (name == nullptr)
        name = "";
    if (strlen(name) >= sizeof link->name)
        return false;
    snprintf(link->name, sizeof link->name, "%s", name);
    return true;
}

// Unlike the band operations, these ask nothing of the link's state, as
// sb_send_cmd and sb_recv_evt never did.
bool sb_link_send_cmd(sb_link *link, sb_cmd_t *cmd)
{
    return link != nullptr && sendFrame(*link, cmd);
}

bool sb_link_recv_evt(sb_link *link, sb_cmd_t *evt, uint8_t tries)
{
    return link != nullptr && receiveFrame(*link, evt, tries);
}
