// Reads the tester's def.xml: the wearer settings, the LEDs and, when it
// has one, the alarm table written into the band during a test.
#pragma once

#include "testdefinition.h"

#include <bandlink.h>

#include <QFile>
#include <QString>
#include <QXmlStreamReader>

class CDefReader {
public:
    explicit CDefReader(const QString &fileName = QStringLiteral("def.xml"));
    ~CDefReader();

    CDefReader(const CDefReader &) = delete;
    CDefReader &operator=(const CDefReader &) = delete;

    // True when the whole file was read and is well-formed XML of at most
    // 1 MiB without entity declarations, and every wearer setting is a
    // decimal number its field on the band can hold: weight, height and age
    // 0 to 255, goal 0 to 65535 (a negative, larger or non-numeric value is
    // refused). Implausible low values take the usual one: height 59 or
    // less 170, weight below 20 45, age 0 18, goal 99 or less 10000; an
    // absent attribute takes the same. An alarm definition comes before the
    // person definition, and each of its entries gives entry 0 to 7 (once),
    // hour 0 to 23, minute 0 to 59 and mode 0 to 255 (decimal, or hex after
    // 0x). Diagnostics go to qDebug.
    bool read();

    // Why the last read failed: its first failure message, in English (the
    // same as in the debug output, or a sentence where the debug output has
    // none). Empty after a successful read.
    QString failureReason() const;

    // False (and *out untouched) until a read succeeded.
    bool getPerson(sb_conf_t *out) const;
    bool getLed(sb_led_t *out) const;
    // All of it; false (and *out untouched) until a read succeeded.
    bool getDefinition(TestDefinition *out) const;

private:
    bool readDef();
    bool readPersonDef();
    bool readLedDef();
    bool readAlarmDef();
    bool wellFormedToTheEnd();
    // A failure: the debug message, kept as the reason when it is the first.
    void fail(const QString &message);
    void failFile(const char *text); // text followed by the file name
    void keepReason(const QString &text);

    QXmlStreamReader xml;
    QFile file;
    bool loaded = false;
    sb_conf_t person{};
    sb_led_t led{};
    std::optional<AlarmTable> alarms; // none: def.xml has no alarm definition
    unsigned entriesSet = 0;          // the alarm entries given so far, one bit each
    QString fileName;
    QString reason;
    QString sha256; // of the bytes the last read read
};
