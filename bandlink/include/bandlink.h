/*
 * bandlink: talks to the band over its USB serial port.
 *
 * One process-wide link: uart_* move bytes on the serial port, sb_init /
 * sb_exit open and close the link, sb_send_cmd / sb_recv_evt move one frame,
 * sb_get* / sb_set* / sb_reset / sb_upgrade perform one band operation each,
 * and sb_dbg_cmd / sb_dbg_evt print a frame on standard output. Call these
 * from one thread at a time.
 *
 * A link per band: sb_link_open gives a handle on one band's port, and
 * sb_link_<operation> performs each band operation on it, with the same
 * frames, budgets, rules for replies and trace. Links are independent of
 * each other and of the process-wide link: each may be used from its own
 * thread while others are (one thread per link).
 *
 * Every result is a bool (true = success); a failed operation leaves the
 * caller's record untouched.
 */
#ifndef BANDLINK_H
#define BANDLINK_H

#include <stdbool.h>
#include <stdint.h>

#if defined(_WIN32)
#  if defined(BANDLINK_BUILD)
#    define BANDLINK_API __declspec(dllexport)
#  else
#    define BANDLINK_API __declspec(dllimport)
#  endif
#else
#  define BANDLINK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
#  define BANDLINK_STATIC_ASSERT(cond, msg) static_assert(cond, msg)
extern "C" {
#else
#  define BANDLINK_STATIC_ASSERT(cond, msg) _Static_assert(cond, msg)
#endif

/* Multi-byte fields are little-endian on the wire and are declared as
 * native integers here, so the records below are only valid on a
 * little-endian host. */
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#  error "bandlink records assume a little-endian host"
#endif

#pragma pack(push, 1)

/* One frame: the in-memory record and the exact wire image. On the wire a
 * frame is the first len + 6 bytes. */
typedef struct sb_cmd_t {
    uint8_t header;       /* always SB_HEADER */
    uint8_t opcode;       /* bit 0: write; bit 7: from the PC */
    uint16_t uuid;        /* low byte: item code; high byte 0xFF in commands */
    uint8_t bcc;          /* xor of len and every payload byte */
    uint8_t len;          /* payload bytes, 0 to 255 */
    uint8_t payload[256];
} sb_cmd_t;

/* Dates count the day and the month from 0 and the year from 2000. */
typedef struct sb_time_t {
    uint8_t second;
    uint8_t minute;
    uint8_t hour;
    uint8_t day;
    uint8_t month;
    uint8_t year;
} sb_time_t;

/* Wearer settings. */
typedef struct sb_conf_t {
    uint8_t weight;
    uint8_t height;
    uint8_t sex;          /* 0 male, anything else female */
    uint8_t age;
    uint16_t goal;
} sb_conf_t;

typedef struct sb_led_t {
    uint8_t enabled[2];   /* LED 0, LED 1; 0 off, anything else on */
} sb_led_t;

/* One alarm clock entry; the band keeps SB_ALARM_COUNT of them. */
typedef struct sb_alarm_t {
    uint8_t mode;
    uint8_t minute;
    uint8_t hour;
    uint8_t reserved;
} sb_alarm_t;

typedef struct sb_stat_t {
    uint8_t reserved0;
    uint8_t minute;
    uint8_t hour;
    uint8_t day;
    uint8_t month;
    uint8_t year;
    uint8_t reserved6;
    uint16_t steps;
    uint16_t distance;
    uint8_t calorie;
} sb_stat_t;

typedef struct sb_day_data_t {
    uint8_t reserved0;
    uint8_t day;
    uint8_t month;
    uint8_t year;
    uint32_t steps;
    uint32_t distance;
    uint32_t calorie;
} sb_day_data_t;

typedef struct sb_day_stat_t {
    uint8_t flag;         /* SB_DAY_STAT_VALID when the record is valid */
    uint8_t day;
    uint8_t month;
    uint8_t year;
    uint8_t steps[3];     /* unsigned 24-bit, little-endian */
    uint8_t reserved7;
    uint8_t distance[3];  /* unsigned 24-bit, little-endian */
    uint8_t reserved11;
    uint16_t calorie;
    uint16_t count;
} sb_day_stat_t;

/* Pedometer min-stat event, streamed after the index is written. */
typedef struct sb_min_stat_t {
    uint8_t reserved0;
    uint8_t minute;
    uint8_t hour;
    uint8_t day;
    uint8_t month;
    uint8_t year;
    uint8_t reserved6;
    uint16_t steps;
    uint16_t distance;
    uint8_t calorie;
    uint16_t temperature; /* tenths of a degree */
    uint16_t pressure;
} sb_min_stat_t;

typedef struct sb_index_t {
    uint8_t value;
    uint16_t index;
} sb_index_t;

typedef struct sb_version_t {
    uint8_t version[4];   /* shown as version[0].version[1].version[2].version[3] */
    uint8_t bdaddr[6];    /* Bluetooth device address, in stored order */
} sb_version_t;

#pragma pack(pop)

BANDLINK_STATIC_ASSERT(sizeof(sb_cmd_t) == 262, "sb_cmd_t is the 262-byte wire image");
BANDLINK_STATIC_ASSERT(sizeof(sb_time_t) == 6, "sb_time_t is 6 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_conf_t) == 6, "sb_conf_t is 6 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_led_t) == 2, "sb_led_t is 2 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_alarm_t) == 4, "sb_alarm_t is 4 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_stat_t) == 12, "sb_stat_t is 12 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_day_data_t) == 16, "sb_day_data_t is 16 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_day_stat_t) == 16, "sb_day_stat_t is 16 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_min_stat_t) == 16, "sb_min_stat_t is 16 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_index_t) == 3, "sb_index_t is 3 bytes");
BANDLINK_STATIC_ASSERT(sizeof(sb_version_t) == 10, "sb_version_t is 10 bytes");

/* Frame constants. */
enum {
    SB_HEADER = 0xAA,
    SB_HEAD_SIZE = 6,
    SB_ALARM_COUNT = 8,
    SB_DAY_STAT_VALID = 0x3A,

    SB_OP_READ_REPLY = 0x00,
    SB_OP_WRITE_REPLY = 0x01,
    SB_OP_READ = 0x80,
    SB_OP_WRITE = 0x81,

    SB_ITEM_ALARM = 0x01,
    SB_ITEM_CONF = 0x02,
    SB_ITEM_STAT = 0x03,
    SB_ITEM_LED = 0x04,
    SB_ITEM_TIME = 0x05,
    SB_ITEM_DAY_DATA = 0x07,
    SB_ITEM_INDEX = 0x09,          /* written index; min-stat events */
    SB_ITEM_DAY_STAT = 0x10,       /* 0x10 + day, day 0 to 6 */
    SB_ITEM_START_UPLOAD = 0xFA,
    SB_ITEM_STOP_UPLOAD = 0xFB,
    SB_ITEM_UPLOAD = 0xFC,         /* uploading-data events */
    SB_ITEM_RESET = 0xFD,
    SB_ITEM_UPGRADE = 0xFE,
    SB_ITEM_VERSION = 0xFF
};

/* ---- Serial port: one port per process ---------------------------------- */

/* Opens port n exclusively (/dev/ttyACMn unless bound elsewhere) in raw mode.
 * A port that is still open is closed first. */
BANDLINK_API bool uart_open(uint8_t port);
BANDLINK_API void uart_close(void);
/* Bytes read into buf, 0..n; waits at most 10 ms per byte plus 100 ms. */
BANDLINK_API int32_t uart_recv(uint8_t *buf, int32_t n);
/* Bytes written from buf, 0..n; bounded like uart_recv. */
BANDLINK_API int32_t uart_send(const uint8_t *buf, int32_t n);
/* 115200, 57600, 38400, 19200, 9600, 4800, 2400, 1200, 600 or 300. */
BANDLINK_API bool uart_setSpeed(int32_t rate);
/* Data bits 5..8; stop bits 1, anything else is two; parity N, E or O. */
BANDLINK_API bool uart_setProperty(int32_t dataBits, int32_t stopBits, char parity);
BANDLINK_API bool uart_set(int32_t rate, int32_t dataBits, int32_t stopBits, char parity);

/* Makes port n open the device at path (a pseudo-terminal, a
 * /dev/serial/by-id link) instead of its default device; a null or empty
 * path restores the default. The path is copied. False when it is too long. */
BANDLINK_API bool uart_bind_device_path(uint8_t port, const char *path);

/* ---- Link and frames ---------------------------------------------------- */

/* Opens port n at 115200 bits per second, 8 data bits, no parity, 1 stop bit. */
BANDLINK_API bool sb_init(uint8_t port);
BANDLINK_API void sb_exit(void);
/* Computes cmd->bcc and writes the first cmd->len + 6 bytes. */
BANDLINK_API bool sb_send_cmd(sb_cmd_t *cmd);
/* Reads one band frame; tries = extra reads allowed in each phase. */
BANDLINK_API bool sb_recv_evt(sb_cmd_t *evt, uint8_t tries);

/* ---- Band operations ---------------------------------------------------- */

BANDLINK_API bool sb_getVersion(sb_version_t *version);
BANDLINK_API bool sb_getTime(sb_time_t *time);
BANDLINK_API bool sb_setTime(const sb_time_t *time);
BANDLINK_API bool sb_getSBConf(sb_conf_t *conf);
BANDLINK_API bool sb_setSBConf(const sb_conf_t *conf);
BANDLINK_API bool sb_getLed(sb_led_t *led);
BANDLINK_API bool sb_setLed(const sb_led_t *led);
/* alarms: a table of SB_ALARM_COUNT entries */
BANDLINK_API bool sb_getAlarmClock(sb_alarm_t *alarms);
BANDLINK_API bool sb_setAlarmClock(const sb_alarm_t *alarms);
BANDLINK_API bool sb_getSBStat(sb_stat_t *stat);
BANDLINK_API bool sb_getSBDayData(sb_day_data_t *data);
BANDLINK_API bool sb_getDayStat(uint8_t day, sb_day_stat_t *stat);
BANDLINK_API bool sb_setReceiveMinStat(const sb_index_t *index);
BANDLINK_API bool sb_setStartUpdata(void);
BANDLINK_API bool sb_setStopUpdata(void);
BANDLINK_API bool sb_reset(void);
BANDLINK_API bool sb_upgrade(void);
/* Listening: buf takes the payload of one received frame (up to 255 bytes). */
BANDLINK_API bool sb_getMinStat(uint8_t *buf);
BANDLINK_API bool sb_getUpload(uint8_t *buf);

/* ---- A link per band ---------------------------------------------------- */

typedef struct sb_link sb_link;

/* Opens the device at device_path (/dev/ttyACM0, a /dev/serial/by-id link,
 * a pseudo-terminal, \\.\COM3) exclusively, at 115200 bits per second,
 * 8 data bits, no parity, 1 stop bit. NULL when it is absent, busy or
 * refuses those settings. */
BANDLINK_API sb_link *sb_link_open(const char *device_path);
/* Closes the port and frees the link; NULL is harmless. */
BANDLINK_API void sb_link_close(sb_link *link);
/* A link's trace blocks begin with a line naming its band (the device path
 * it was opened on). A NULL or empty name leaves that line out, so that a
 * program with one band keeps the process-wide link's trace. Call it before
 * the link is used; false for a NULL link or a name too long. */
BANDLINK_API bool sb_link_set_trace_name(sb_link *link, const char *name);

/* sb_send_cmd and sb_recv_evt on one link; false for a NULL link. */
BANDLINK_API bool sb_link_send_cmd(sb_link *link, sb_cmd_t *cmd);
BANDLINK_API bool sb_link_recv_evt(sb_link *link, sb_cmd_t *evt, uint8_t tries);

/* The band operations above on one link; false for a NULL link. */
BANDLINK_API bool sb_link_getVersion(sb_link *link, sb_version_t *version);
BANDLINK_API bool sb_link_getTime(sb_link *link, sb_time_t *time);
BANDLINK_API bool sb_link_setTime(sb_link *link, const sb_time_t *time);
BANDLINK_API bool sb_link_getSBConf(sb_link *link, sb_conf_t *conf);
BANDLINK_API bool sb_link_setSBConf(sb_link *link, const sb_conf_t *conf);
BANDLINK_API bool sb_link_getLed(sb_link *link, sb_led_t *led);
BANDLINK_API bool sb_link_setLed(sb_link *link, const sb_led_t *led);
BANDLINK_API bool sb_link_getAlarmClock(sb_link *link, sb_alarm_t *alarms);
BANDLINK_API bool sb_link_setAlarmClock(sb_link *link, const sb_alarm_t *alarms);
BANDLINK_API bool sb_link_getSBStat(sb_link *link, sb_stat_t *stat);
BANDLINK_API bool sb_link_getSBDayData(sb_link *link, sb_day_data_t *data);
BANDLINK_API bool sb_link_getDayStat(sb_link *link, uint8_t day, sb_day_stat_t *stat);
BANDLINK_API bool sb_link_setReceiveMinStat(sb_link *link, const sb_index_t *index);
BANDLINK_API bool sb_link_setStartUpdata(sb_link *link);
BANDLINK_API bool sb_link_setStopUpdata(sb_link *link);
BANDLINK_API bool sb_link_reset(sb_link *link);
BANDLINK_API bool sb_link_upgrade(sb_link *link);
BANDLINK_API bool sb_link_getMinStat(sb_link *link, uint8_t *buf);
BANDLINK_API bool sb_link_getUpload(sb_link *link, uint8_t *buf);

/* ---- Protocol trace on standard output ---------------------------------- */

BANDLINK_API void sb_dbg_cmd(const sb_cmd_t *cmd);
BANDLINK_API void sb_dbg_evt(const sb_cmd_t *evt);
/* The same blocks for a frame of one link, after the line naming its band. */
BANDLINK_API void sb_link_dbg_cmd(const sb_link *link, const sb_cmd_t *cmd);
BANDLINK_API void sb_link_dbg_evt(const sb_link *link, const sb_cmd_t *evt);

#ifdef __cplusplus
}
#endif

#endif /* BANDLINK_H */
