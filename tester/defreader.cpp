#include "defreader.h"

#include <QDebug>

namespace {

bool sameWord(QStringView a, QLatin1StringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A real def.xml is a few hundred bytes; anything this big is not one.
constexpr qint64 kMaxFileSize = 1024 * 1024;

// A value that is not a decimal integer counts as 0.
int numberOf(QStringView value)
{
    return value.toInt();
}

} // namespace

CDefReader::CDefReader(const QString &fileName)
    : fileName(fileName)
{
}

CDefReader::~CDefReader()
{
    xml.clear();
    file.close();
}

bool CDefReader::read()
{
    // Also after a failed read, which leaves the file open.
    xml.clear();
    file.close();

    file.setFileName(fileName);
    if (!file.exists()) {
        qDebug() << "Fail to find " << fileName;
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "Fail to open " << fileName;
        return false;
    }
    if (file.size() > kMaxFileSize) {
        qDebug().noquote() << QStringLiteral("Fail to read \"%1\": %2 bytes, more than the %3 allowed")
                                  .arg(fileName).arg(file.size()).arg(kMaxFileSize);
        return false;
    }

    xml.setDevice(&file);
    if (xml.readNext() != QXmlStreamReader::StartDocument)
        return false;

    while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::StartElement) {
        // Entities are what a few kilobytes need to grow into gigabytes.
        if (xml.isDTD() && !xml.entityDeclarations().isEmpty()) {
            qDebug().noquote() << QStringLiteral("Fail to read \"%1\" at line %2: entity declarations are not allowed")
                                      .arg(fileName).arg(xml.lineNumber());
            xml.clear();
            return false;
        }
    }
    if (!xml.isStartElement()) {
        qDebug() << "Fail to analyze " << fileName;
        xml.clear();
        return false;
    }
    if (!sameWord(xml.name(), QLatin1StringView("QAT_DEF")) || xml.hasError()) {
        qDebug() << "Fail to read QAT_DEF";
        xml.clear();
        return false;
    }
    if (!readDef()) {
        qDebug() << "Fail to read definiton";
        return false;
    }
    if (!wellFormedToTheEnd())
        return false;
    loaded = true;
    return true;
}

// A cut-off or broken file must not pass with whatever was read before the
// fault: the settings would go into every band. What follows a person
// definition is not read, but it still has to be sound XML.
bool CDefReader::wellFormedToTheEnd()
{
    while (!xml.atEnd())
        xml.readNext();
    if (!xml.hasError())
        return true;
    qDebug().noquote() << QStringLiteral("Fail to read \"%1\" at line %2: %3")
                              .arg(fileName).arg(xml.lineNumber()).arg(xml.errorString());
    return false;
}

bool CDefReader::readDef()
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1StringView("def")) {
            qDebug() << "Fail to find \"def\"";
            return false;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.isEmpty() || !sameWord(attributes.first().name(), QLatin1StringView("type"))) {
            qDebug() << "Fail to find \"type\"";
            return false;
        }
        const QString type = attributes.first().value().toString();
        if (type.isEmpty())
            return false;

        qDebug() << "Enter readDef";
        if (sameWord(type, QLatin1StringView("led"))) {
            if (!readLedDef()) {
                qDebug() << "Fail to read Led Def";
                return false;
            }
            qDebug() << "Success to read Led Def";
        } else if (sameWord(type, QLatin1StringView("person"))) {
            if (!readPersonDef()) {
                qDebug() << "Fail to read Person Def";
                return false;
            }
            qDebug() << "Success to read Person Def";
        } else {
            qDebug() << "Fail to find Led Def or Person Def";
            return false;
        }
    }
    return true;
}

bool CDefReader::readPersonDef()
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1StringView("settings")) {
            qDebug() << "Fail to recognize settings";
            return false;
        }
        sb_conf_t read{};
        read.weight = 45;
        read.height = 170;
        read.sex = 1;
        read.age = 18;
        read.goal = 10000;

        const QXmlStreamAttributes attributes = xml.attributes();
        for (const QXmlStreamAttribute &attribute : attributes) {
            const QStringView name = attribute.name();
            const QStringView value = attribute.value();
            if (sameWord(name, QLatin1StringView("height"))) {
                if (value.isEmpty()) {
                    qDebug() << "Fail to recognize height";
                    return false;
                }
                read.height = quint8(numberOf(value));
                if (read.height <= 59)
                    read.height = 170;
            } else if (sameWord(name, QLatin1StringView("weight"))) {
                if (value.isEmpty()) {
                    qDebug() << "Fail to recognize weight";
                    return false;
                }
                // Below 20 kg nobody wears the band; such a value is a typo
                // or not a number, so the usual default stands in.
                read.weight = quint8(numberOf(value));
                if (read.weight < 20)
                    read.weight = 45;
            } else if (sameWord(name, QLatin1StringView("sex"))) {
                if (sameWord(value, QLatin1StringView("female"))) {
                    read.sex = 1;
                } else if (sameWord(value, QLatin1StringView("male"))) {
                    read.sex = 0;
                } else {
                    qDebug() << "Fail to recognize sex";
                    return false;
                }
            } else if (sameWord(name, QLatin1StringView("age"))) {
                if (value.isEmpty()) {
                    qDebug() << "Fail to recognize age";
                    return false;
                }
                read.age = quint8(numberOf(value));
                if (read.age == 0)
                    read.age = 18;
            } else if (sameWord(name, QLatin1StringView("goal"))) {
                if (value.isEmpty()) {
                    qDebug() << "Fail to recognize goal";
                    return false;
                }
                read.goal = quint16(numberOf(value));
                if (read.goal <= 99)
                    read.goal = 10000;
            }
        }
        person = read;
        // The rest of the element is not skipped: for an empty settings
        // element the next token ends it, and with it this definition.
    }
    return true;
}

bool CDefReader::readLedDef()
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1StringView("settings")) {
            qDebug() << "Fail to recognize settings";
            return false;
        }
        int state = 0;
        quint8 enable = 0;
        const QXmlStreamAttributes attributes = xml.attributes();
        for (const QXmlStreamAttribute &attribute : attributes) {
            const QStringView name = attribute.name();
            const QStringView value = attribute.value();
            if (sameWord(name, QLatin1StringView("state"))) {
                if (value == QLatin1StringView("0") || value == QLatin1StringView("1")) {
                    state = value == QLatin1StringView("1") ? 1 : 0;
                } else {
                    qDebug() << "Fail to recognize state";
                    return false;
                }
            } else if (sameWord(name, QLatin1StringView("enable"))) {
                if (sameWord(value, QLatin1StringView("true"))) {
                    enable = 1;
                } else if (sameWord(value, QLatin1StringView("false"))) {
                    enable = 0;
                } else {
                    qDebug() << "Fail to recognize color";
                    return false;
                }
            }
        }
        led.enabled[state] = enable;
        xml.skipCurrentElement();
    }
    return true;
}

bool CDefReader::getPerson(sb_conf_t *out) const
{
    if (!loaded || !out)
        return false;
    *out = person;
    return true;
}

bool CDefReader::getLed(sb_led_t *out) const
{
    if (!loaded || !out)
        return false;
    *out = led;
    return true;
}
