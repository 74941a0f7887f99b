// watch minstat|upload: switches a stream of the band on, prints each event
// as it arrives, and switches it off again at the end, Ctrl-C included.
#include "bandchannel.h"
#include "bandconnection.h"
#include "bandrecords.h"
#include "interrupt.h"
#include "output.h"
#include "subcommand.h"

#include <bandlink.h>

#include <QElapsedTimer>

#include <algorithm>
#include <cstring>

namespace {

struct Stream {
    bool upload = false;
    long long count = 0;        // 0: until Ctrl-C
    long long timeoutMs = 0;    // longest silence before giving up
    long long index = 0;        // the pedometer index written to start min-stat events
};

Result eventResult(const sb_cmd_t &frame)
{
    if ((frame.uuid & 0xFF) == SB_ITEM_UPLOAD)
        return describeUpload(frame.payload, frame.len);
    sb_min_stat_t stat{};
    std::memcpy(&stat, frame.payload, std::min<size_t>(frame.len, sizeof stat));
    return describeMinStat(stat);
}

// One frame of the stream. The library's listening calls do not tell the
// event's length or item, so the frame is taken whole and traced the same way.
// Frames of other items are traced and skipped.
bool receive(BandChannel &band, const Stream &stream, sb_cmd_t *frame)
{
    if (!band.receiveEvent(frame, 5))
        return false;
    const int item = frame->uuid & 0xFF;
    return stream.upload ? item == SB_ITEM_UPLOAD : item == SB_ITEM_INDEX && frame->len == sizeof(sb_min_stat_t);
}

int listen(CommandContext &context, BandConnection &band, const Stream &stream, long long *received)
{
    QElapsedTimer sinceEvent;
    sinceEvent.start();
    while (!InterruptWatch::requested() && !context.out.readerGone()
           && (stream.count == 0 || *received < stream.count)) {
        sb_cmd_t frame{};
        if (receive(band.channel(), stream, &frame)) {
            context.out.print(eventResult(frame));
            ++*received;
            sinceEvent.restart();
        } else if (band.isGone()) {
            return band.failed(context.out, QStringLiteral("watching"));
        } else if (sinceEvent.hasExpired(stream.timeoutMs)) {
            return context.out.fail(ExitBandFailed, QStringLiteral("no event from the band for %1 s").arg(stream.timeoutMs / 1000));
        }
    }
    return ExitOk;
}

int run(CommandContext &context)
{
    ArgumentReader reader(context.arguments);
    Stream stream;
    stream.count = *reader.number(QStringLiteral("--count"), 1, 1000000000, 0);
    const auto timeoutS = reader.number(QStringLiteral("--timeout"), 1, 86400, -1);
    stream.index = *reader.number(QStringLiteral("--index"), 0, 65535, 0);
    const auto words = reader.words();
    if (!words)
        return context.out.fail(ExitUsage, reader.error());
    const QString kind = words->value(0);
    if (words->size() != 1 || (kind != QLatin1StringView("minstat") && kind != QLatin1StringView("upload")))
        return context.out.fail(ExitUsage, QStringLiteral("watch needs one stream: minstat or upload"));
    stream.upload = kind == QLatin1StringView("upload");
    stream.timeoutMs = 1000 * (*timeoutS > 0 ? *timeoutS : stream.upload ? 5 : 130);

    BandConnection band(context.options.band);
    if (const int code = band.open(context.out); code != ExitOk)
        return code;
    const sb_index_t index{0, quint16(stream.index)};
    if (!(stream.upload ? band.channel().startUpload() : band.channel().startMinStat(&index)))
        return band.failed(context.out, QStringLiteral("switching on the %1 stream").arg(kind));

    long long received = 0;
    const int code = listen(context, band, stream, &received);
    // The band has no command that ends min-stat events; the upload stream is switched off.
    if (stream.upload && !band.isGone() && !band.channel().stopUpload() && code == ExitOk)
        return band.failed(context.out, QStringLiteral("switching off the upload stream"));
    if (code == ExitOk)
        context.out.progress(QStringLiteral("%1 events%2").arg(received).arg(
            stream.upload ? QStringLiteral("; upload stream switched off") : QString()));
    return code;
}

} // namespace

extern const Subcommand watchCommand = {
    "watch", "watch minstat|upload", "print the band's min-stat or upload events as they arrive",
    "Switches the stream on, prints one result per event until Ctrl-C or --count events,\n"
    "then switches the upload stream off again (the band has no command that ends min-stat\n"
    "events; they stop when the band restarts).\n"
    "  --count N       stop after N events\n"
    "  --timeout S     give up (exit 1) after S seconds without an event\n"
    "                  (default 5 for upload, 130 for minstat)\n"
    "  --index N       the pedometer index written to start min-stat events (default 0)\n"
    "Ctrl-C, or the reader of the output going away, ends the watch with exit code 0.\n",
    run,
};
