#include "defreader.h"

#include "stationreport.h"

#include <QDebug>

#include <algorithm>

namespace {

bool sameWord(QStringView a, QLatin1StringView b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// A real def.xml is a few hundred bytes; anything this big is not one.
constexpr qint64 kMaxFileSize = 1024 * 1024;

// The band keeps weight, height and age in one byte each, the goal in two.
constexpr uint kByteMax = 255;
constexpr uint kGoalMax = 65535;

bool isDigits(QStringView value, int base)
{
    return !value.isEmpty() && std::all_of(value.begin(), value.end(), [base](QChar c) {
        return (c >= u'0' && c <= u'9') || (base == 16 && ((c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')));
    });
}

// A whole number from 0 to max, decimal (or hexadecimal after 0x where
// allowed), or the failure message. A value the field cannot hold is
// refused rather than cut to its low bits, which would put another number
// into every band without a word.
QString readBounded(const QString &name, QStringView value, uint max, bool hexAllowed, uint *out)
{
    if (value.isEmpty())
        return QStringLiteral("Fail to recognize %1").arg(name);
    const bool hex = hexAllowed && (value.startsWith(u"0x") || value.startsWith(u"0X"));
    const QStringView digits = hex ? value.mid(2) : value;
    bool ok = false;
    const qulonglong number = isDigits(digits, hex ? 16 : 10) ? digits.toULongLong(&ok, hex ? 16 : 10) : 0;
    if (!ok || number > max) {
        constexpr int kShown = 20;
        const QString shown = value.size() > kShown ? value.left(kShown).toString() + QStringLiteral("...") : value.toString();
        return QStringLiteral("Fail to accept %1 \"%2\": allowed are whole numbers from 0 to %3%4")
            .arg(name, shown).arg(max).arg(hexAllowed ? QStringLiteral(" (or 0x0 to 0x%1)").arg(max, 0, 16) : QString());
    }
    *out = uint(number);
    return QString();
}

// A wearer setting held as a number: the largest value its field on the band
// holds, and the implausible low values that a usual value replaces.
struct NumberRule {
    QLatin1StringView name;
    uint max;
    uint replacedUpTo;
    uint usual;
};

const NumberRule kHeight{QLatin1StringView("height"), kByteMax, 59, 170};
// Below 20 kg nobody wears the band.
const NumberRule kWeight{QLatin1StringView("weight"), kByteMax, 19, 45};
const NumberRule kAge{QLatin1StringView("age"), kByteMax, 0, 18};
const NumberRule kGoal{QLatin1StringView("goal"), kGoalMax, 99, 10000};

// The value of a numeric wearer setting, or the failure message.
QString readNumber(const NumberRule &rule, QStringView value, uint *out)
{
    uint number = 0;
    if (QString failure = readBounded(rule.name, value, rule.max, false, &number); !failure.isEmpty())
        return failure;
    *out = number <= rule.replacedUpTo ? rule.usual : number;
    return QString();
}

// The attributes of an alarm entry, each required, with the largest value
// the band takes; the mode is a set of bits, so it may be written in hex.
struct AlarmField {
    QLatin1StringView name;
    uint max;
    bool hexAllowed;
};

const AlarmField kAlarmFields[] = {{QLatin1StringView("entry"), SB_ALARM_COUNT - 1, false},
                                   {QLatin1StringView("hour"), 23, false},
                                   {QLatin1StringView("minute"), 59, false},
                                   {QLatin1StringView("mode"), 255, true}};

bool isAlarmDef(const QXmlStreamReader &xml)
{
    if (!xml.isStartElement() || xml.name() != QLatin1StringView("def"))
        return false;
    const QXmlStreamAttributes attributes = xml.attributes();
    return !attributes.isEmpty() && sameWord(attributes.first().name(), QLatin1StringView("type"))
        && sameWord(attributes.first().value(), QLatin1StringView("alarm"));
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
    reason.clear();
    alarms.reset(); // a file without an alarm definition leaves the band its own
    entriesSet = 0;

    file.setFileName(fileName);
    if (!file.exists()) {
        failFile("Fail to find ");
        return false;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        failFile("Fail to open ");
        return false;
    }
    if (file.size() > kMaxFileSize) {
        fail(QStringLiteral("Fail to read \"%1\": %2 bytes, more than the %3 allowed")
                 .arg(fileName).arg(file.size()).arg(kMaxFileSize));
        return false;
    }
    // What the runs' records name: the bytes read here, not the file later.
    sha256 = sha256Hex(file.readAll());
    file.seek(0);

    xml.setDevice(&file);
    if (xml.readNext() != QXmlStreamReader::StartDocument) {
        keepReason(QStringLiteral("Fail to read \"%1\": not an XML document").arg(fileName));
        return false;
    }

    while (!xml.atEnd() && xml.readNext() != QXmlStreamReader::StartElement) {
        // Entities are what a few kilobytes need to grow into gigabytes.
        if (xml.isDTD() && !xml.entityDeclarations().isEmpty()) {
            fail(QStringLiteral("Fail to read \"%1\" at line %2: entity declarations are not allowed")
                     .arg(fileName).arg(xml.lineNumber()));
            xml.clear();
            return false;
        }
    }
    if (!xml.isStartElement()) {
        failFile("Fail to analyze ");
        xml.clear();
        return false;
    }
    if (!sameWord(xml.name(), QLatin1StringView("QAT_DEF")) || xml.hasError()) {
        fail("Fail to read QAT_DEF");
        xml.clear();
        return false;
    }
    if (!readDef()) {
        fail("Fail to read definiton");
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
    while (!xml.atEnd()) {
        xml.readNext();
        // Left unread, it would leave the band its own alarms without a word.
        if (isAlarmDef(xml)) {
            fail("Fail to read Alarm Def: it must come before the person definition, which ends the reading");
            return false;
        }
    }
    if (!xml.hasError())
        return true;
    fail(QStringLiteral("Fail to read \"%1\" at line %2: %3").arg(fileName).arg(xml.lineNumber()).arg(xml.errorString()));
    return false;
}

bool CDefReader::readDef()
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1StringView("def")) {
            fail("Fail to find \"def\"");
            return false;
        }
        const QXmlStreamAttributes attributes = xml.attributes();
        if (attributes.isEmpty() || !sameWord(attributes.first().name(), QLatin1StringView("type"))) {
            fail("Fail to find \"type\"");
            return false;
        }
        const QString type = attributes.first().value().toString();
        if (type.isEmpty()) {
            keepReason(QStringLiteral("Fail to find \"type\": its value is empty"));
            return false;
        }

        qDebug() << "Enter readDef";
        if (sameWord(type, QLatin1StringView("led"))) {
            if (!readLedDef()) {
                fail("Fail to read Led Def");
                return false;
            }
            qDebug() << "Success to read Led Def";
        } else if (sameWord(type, QLatin1StringView("alarm"))) {
            if (!readAlarmDef()) {
                fail("Fail to read Alarm Def");
                return false;
            }
            qDebug() << "Success to read Alarm Def";
        } else if (sameWord(type, QLatin1StringView("person"))) {
            if (!readPersonDef()) {
                fail("Fail to read Person Def");
                return false;
            }
            qDebug() << "Success to read Person Def";
        } else {
            fail("Fail to find Led Def or Person Def");
            return false;
        }
    }
    return true;
}

bool CDefReader::readPersonDef()
{
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1StringView("settings")) {
            fail("Fail to recognize settings");
            return false;
        }
        // Defaults for absent attributes.
        uint weight = 45, height = 170, age = 18, goal = 10000;
        quint8 sex = 1;
        const std::pair<const NumberRule &, uint *> numbers[] = {
            {kHeight, &height}, {kWeight, &weight}, {kAge, &age}, {kGoal, &goal}};

        const QXmlStreamAttributes attributes = xml.attributes();
        for (const QXmlStreamAttribute &attribute : attributes) {
            const QStringView name = attribute.name();
            const QStringView value = attribute.value();
            if (sameWord(name, QLatin1StringView("sex"))) {
                if (sameWord(value, QLatin1StringView("female"))) {
                    sex = 1;
                } else if (sameWord(value, QLatin1StringView("male"))) {
                    sex = 0;
                } else {
                    fail("Fail to recognize sex");
                    return false;
                }
            }
            for (const auto &[rule, number] : numbers) {
                if (!sameWord(name, rule.name))
                    continue;
                if (const QString failure = readNumber(rule, value, number); !failure.isEmpty()) {
                    fail(failure);
                    return false;
                }
            }
        }
        sb_conf_t read{};
        read.weight = quint8(weight);
        read.height = quint8(height);
        read.sex = sex;
        read.age = quint8(age);
        read.goal = quint16(goal);
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
            fail("Fail to recognize settings");
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
                    fail("Fail to recognize state");
                    return false;
                }
            } else if (sameWord(name, QLatin1StringView("enable"))) {
                if (sameWord(value, QLatin1StringView("true"))) {
                    enable = 1;
                } else if (sameWord(value, QLatin1StringView("false"))) {
                    enable = 0;
                } else {
                    fail("Fail to recognize color");
                    return false;
                }
            }
        }
        led.enabled[state] = enable;
        xml.skipCurrentElement();
    }
    return true;
}

// Each settings element sets one entry of the table; the entries no element
// names are written as zero (off).
bool CDefReader::readAlarmDef()
{
    AlarmTable table = alarms.value_or(AlarmTable{});
    while (xml.readNextStartElement()) {
        if (xml.name() != QLatin1StringView("settings")) {
            fail("Fail to recognize settings");
            return false;
        }
        uint values[std::size(kAlarmFields)];
        const QXmlStreamAttributes attributes = xml.attributes();
        for (size_t i = 0; i < std::size(kAlarmFields); ++i) {
            const AlarmField &field = kAlarmFields[i];
            const QString name = QStringLiteral("alarm ") + field.name;
            const auto found = std::find_if(attributes.begin(), attributes.end(), [&](const QXmlStreamAttribute &a) {
                return sameWord(a.name(), field.name);
            });
            if (found == attributes.end()) {
                fail(QStringLiteral("Fail to find %1").arg(name));
                return false;
            }
            if (const QString failure = readBounded(name, found->value(), field.max, field.hexAllowed, &values[i]);
                !failure.isEmpty()) {
                fail(failure);
                return false;
            }
        }
        const uint entry = values[0];
        if (entriesSet & (1u << entry)) {
            fail(QStringLiteral("Fail to accept alarm entry \"%1\": it is given twice").arg(entry));
            return false;
        }
        entriesSet |= 1u << entry;
        table[entry].hour = quint8(values[1]);
        table[entry].minute = quint8(values[2]);
        table[entry].mode = quint8(values[3]);
        xml.skipCurrentElement();
    }
    alarms = table;
    return true;
}

void CDefReader::fail(const QString &message)
{
    qDebug().noquote() << message;
    keepReason(message);
}

void CDefReader::failFile(const char *text)
{
    qDebug() << text << fileName;
    keepReason(QString::fromLatin1(text) + QLatin1Char('"') + fileName + QLatin1Char('"'));
}

void CDefReader::keepReason(const QString &text)
{
    if (reason.isEmpty())
        reason = text;
}

QString CDefReader::failureReason() const
{
    return reason;
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

bool CDefReader::getDefinition(TestDefinition *out) const
{
    if (!loaded || !out)
        return false;
    *out = TestDefinition{person, led, alarms, sha256};
    return true;
}
