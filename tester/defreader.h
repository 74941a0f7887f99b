// Reads the tester's def.xml: the wearer settings written into the band
// during a test, and an LED definition.
#pragma once

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
    // 1 MiB without entity declarations. Diagnostics go to qDebug only.
    bool read();

    // False (and *out untouched) until a read succeeded.
    bool getPerson(sb_conf_t *out) const;
    bool getLed(sb_led_t *out) const;

private:
    bool readDef();
    bool readPersonDef();
    bool readLedDef();
    bool wellFormedToTheEnd();

    QXmlStreamReader xml;
    QFile file;
    bool loaded = false;
    sb_conf_t person{};
    sb_led_t led{};
    QString fileName;
};
