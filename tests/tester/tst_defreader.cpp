#include "defreader.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QStringList messages;
void recordMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    messages.append(text);
}

template <typename Record> QByteArray bytes(const Record &r)
{
    return QByteArray(reinterpret_cast<const char *>(&r), sizeof r);
}

QByteArray conf(quint8 weight, quint8 height, quint8 sex, quint8 age, quint16 goal)
{
    return bytes(sb_conf_t{weight, height, sex, age, goal});
}

QByteArray root(const QByteArray &defs) { return "<?xml version='1.0'?>\n<QAT_DEF>" + defs + "</QAT_DEF>"; }
QByteArray person(const QByteArray &attributes) { return root("<def type='person'><settings " + attributes + "/></def>"); }

// Writes def.xml (null content: none), reads it, returns the messages.
QStringList readWith(CDefReader &reader, const QByteArray &content, bool &ok)
{
    QFile file(QStringLiteral("def.xml"));
    if (!content.isNull() && (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size()))
        return {"cannot write def.xml"};
    file.close();
    messages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(recordMessage);
    ok = reader.read();
    qInstallMessageHandler(previous);
    return messages;
}

} // namespace

class TestDefReader : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { QVERIFY(workDir.isValid() && QDir::setCurrent(workDir.path())); }
    void init() { QFile::remove("def.xml"); }
    void reads_data();
    void reads();
    void readsAlarmTable_data();
    void readsAlarmTable();
    void failedReadKeepsRecordsAndCanBeRetried();

private:
    QTemporaryDir workDir;
};

void TestDefReader::reads_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("person");
    QTest::addColumn<QByteArray>("leds");
    QTest::addColumn<QStringList>("messages");

    const QByteArray leds = "<def type='led'><settings state='0' enable='true'/><settings state='1' enable='false'/></def>";
    const QByteArray sample = "<def type='person'><settings height='170' weight='60' sex='female' age='25' goal='8000'/></def>";
    const QByteArray none = conf(0, 0, 0, 0, 0), defaults = conf(45, 170, 1, 18, 10000);
    const QByteArray led10("\1\0", 2), led01("\0\1", 2), led00("\0\0", 2);
    const QString enter = "Enter readDef", failDef = "Fail to read definiton";
    const QStringList ledOk{enter, "Success to read Led Def"}, personOk{enter, "Success to read Person Def"};
    auto good = [](const char *name, const QByteArray &content, const QByteArray &p, const QByteArray &l,
                   const QStringList &m) { QTest::newRow(name) << content << true << p << l << m; };
    auto bad = [](const char *name, const QByteArray &content, const QStringList &m) {
        QTest::newRow(name) << content << false << QByteArray() << QByteArray() << m;
    };

    good("led then person", root(leds + sample), conf(60, 170, 1, 25, 8000), led10, ledOk + personOk);
    good("person ends the reading", root(sample + leds), conf(60, 170, 1, 25, 8000), led00, personOk);
    good("empty root", "<QAT_DEF/>", none, led00, {});
    good("letter case", "<qat_def><def TYPE='PERSON'><settings Height='180' SEX='Male'/></def></qat_def>",
         conf(45, 180, 0, 18, 10000), led00, personOk);
    good("empty person def", root("<def type='person'/><def type='led'><settings state='1' enable='TRUE'/></def>"),
         none, led01, personOk + ledOk);
    good("led settings without attributes", root("<def type='led'><settings enable='true'/><settings/></def>"),
         none, led00, ledOk);
    good("other content ignored", root("<!-- c --><def type='led' x='1'>t<settings state='1' enable='true' c='r'><x/></settings></def>"),
         none, led01, ledOk);
    good("no attributes", person(""), defaults, led00, personOk);
    good("implausible values replaced", person("height='59' age='0' goal='99' weight='19'"), defaults, led00, personOk);
    good("smallest kept", person("height='60' goal='100' weight='20' age='1'"), conf(20, 60, 1, 1, 100), led00, personOk);
    good("largest kept", person("height='255' goal='65535' weight='255' age='0255' sex='female'"),
         conf(255, 255, 1, 255, 65535), led00, personOk);

    // A value its field on the band cannot hold: refused, never cut to its low bits.
    const auto outOfRange = [&](const char *name, const char *field, const char *value, int max) {
        const QString refusal = QStringLiteral("Fail to accept %1 \"%2\": allowed are whole numbers from 0 to %3").arg(field, value).arg(max);
        bad(name, person(QByteArray(field) + "='" + value + "'"), {enter, refusal, "Fail to read Person Def", failDef});
    };
    outOfRange("weight too large", "weight", "300", 255);
    outOfRange("height too large", "height", "256", 255);
    outOfRange("age negative", "age", "-1", 255);
    outOfRange("goal too large", "goal", "70000", 65535);
    outOfRange("height not a number", "height", "abc", 255);
    outOfRange("weight with sign", "weight", "+60", 255);
    outOfRange("age with blank", "age", " 25", 255);
    outOfRange("goal in exponent form", "goal", "1e4", 65535);
    outOfRange("goal beyond 64 bits", "goal", "18446744073709551616", 65535);
    outOfRange("weight fraction", "weight", "60.5", 255);

    // Broken files: nothing read before the fault may pass as the settings.
    const QString failXml = "Fail to read \"def.xml\" at line ";
    bad("cut off in a def", "<QAT_DEF><def type='led'><settings state='1' enable='true'/></def><def type=",
        ledOk + QStringList{failXml + "1: Premature end of document."});
    bad("cut off after the person", root(sample).chopped(4), personOk + QStringList{failXml + "2: Premature end of document."});
    bad("extra content", root(sample) + "</x>", personOk + QStringList{failXml + "2: Expected '?', '!', or '[a-zA-Z]', but got '/'."});
    QByteArray bomb = "<?xml version='1.0'?>\n<!DOCTYPE QAT_DEF [<!ENTITY a 'aaaaaaaaaaaaaaaa'>";
    for (char e = 'b'; e <= 'j'; ++e)
        bomb += QByteArray("<!ENTITY ") + e + " '&" + char(e - 1) + ";&" + char(e - 1) + ";'>";
    bomb += "]>\n<QAT_DEF><def type='person'><settings weight='&j;'/></def></QAT_DEF>";
    bad("entity expansion", bomb, {failXml + "2: entity declarations are not allowed"});
    bad("over 1 MiB", root(QByteArray(1024 * 1024, ' ') + sample),
        {"Fail to read \"def.xml\": 1048712 bytes, more than the 1048576 allowed"});
    bad("no file", QByteArray(), {"Fail to find  \"def.xml\""});
    bad("empty file", "", {});
    bad("no element", "<?xml version='1.0'?>\n", {"Fail to analyze  \"def.xml\""});
    bad("other root", "<DEF/>", {"Fail to read QAT_DEF"});
    bad("child named Def", root("<Def type='led'/>"), {"Fail to find \"def\"", failDef});
    bad("type not first", root("<def name='a' type='led'/>"), {"Fail to find \"type\"", failDef});
    bad("empty type", root("<def type=''/>"), {failDef});
    bad("unknown type", root("<def type='clock'/>"), {enter, "Fail to find Led Def or Person Def", failDef});
    bad("person child", root("<def type='person'><x/></def>"), {enter, "Fail to recognize settings", "Fail to read Person Def", failDef});
    bad("empty height", person("height=''"), {enter, "Fail to recognize height", "Fail to read Person Def", failDef});
    bad("empty sex", person("sex=''"), {enter, "Fail to recognize sex", "Fail to read Person Def", failDef});
    bad("two person settings", root("<def type='person'><settings/><settings/></def>"), personOk + QStringList{"Fail to find \"def\"", failDef});
    bad("led enable yes", root("<def type='led'><settings enable='yes'/></def>"), {enter, "Fail to recognize color", "Fail to read Led Def", failDef});
    bad("led state 2", root("<def type='led'><settings state='2'/></def>"), {enter, "Fail to recognize state", "Fail to read Led Def", failDef});
}

void TestDefReader::reads()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, ok);
    QFETCH(QByteArray, person);
    QFETCH(QByteArray, leds);
    QFETCH(QStringList, messages);

    CDefReader reader;
    bool read = !ok;
    QCOMPARE(readWith(reader, content, read), messages);
    QCOMPARE(read, ok);
    sb_conf_t c{};
    sb_led_t l{};
    QCOMPARE(reader.getPerson(&c), ok);
    QCOMPARE(reader.getLed(&l), ok);
    QCOMPARE(bytes(c), ok ? person : bytes(sb_conf_t{}));
    QCOMPARE(bytes(l), ok ? leds : bytes(sb_led_t{}));

    // The reason a refused file is shown with: its first failure, or a
    // sentence of its own where the debug output names no cause.
    const QStringList failures = messages.filter(QRegularExpression("^Fail"));
    const QString reason = reader.failureReason();
    if (ok)
        QCOMPARE(reason, QString());
    else if (failures.isEmpty() || failures.first() == "Fail to read definiton")
        QVERIFY(reason.startsWith("Fail") && !messages.contains(reason));
    else
        QCOMPARE(reason, failures.first().simplified());
}

void TestDefReader::readsAlarmTable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("table");  // the 32 bytes written; null: the band keeps its own
    QTest::addColumn<QString>("refusal"); // empty: read

    const QByteArray sample = "<def type='person'><settings/></def>";
    auto alarmDef = [&](const QByteArray &settings) { return root("<def type='alarm'>" + settings + "</def>" + sample); };
    auto entry = [](int e, int hour, int minute, int mode) {
        QByteArray table(32, 0);
        table[e * 4] = char(mode);
        table[e * 4 + 1] = char(minute);
        table[e * 4 + 2] = char(hour);
        return table;
    };
    QTest::newRow("none") << root(sample) << QByteArray() << QString();
    QTest::newRow("one entry, the rest off") << alarmDef("<settings entry='2' hour='6' minute='45' mode='0x81'/>")
                                             << entry(2, 6, 45, 0x81) << QString();
    QByteArray full(32, 0);
    for (int e = 0; e < 8; ++e)
        full.replace(e * 4, 4, entry(e, 23 - e, 59 - e, 255 - e).mid(e * 4, 4));
    QByteArray all;
    for (int e = 0; e < 8; ++e)
        all += QStringLiteral("<settings Entry='%1' hour='%2' minute='%3' mode='%4'/>").arg(e).arg(23 - e).arg(59 - e).arg(255 - e).toUtf8();
    QTest::newRow("every entry at its largest") << alarmDef(all) << full << QString();
    QTest::newRow("empty definition: no alarms") << alarmDef("") << QByteArray(32, 0) << QString();

    // A value the band cannot take is refused when the file is read.
    const QString accept = "Fail to accept alarm %1 \"%2\": allowed are whole numbers from 0 to %3";
    auto refused = [&](const char *name, const QByteArray &settings, const QString &reason) {
        QTest::newRow(name) << alarmDef("<settings " + settings + "/>") << QByteArray() << reason;
    };
    refused("entry 8", "entry='8' hour='1' minute='0' mode='1'", accept.arg("entry", "8").arg(7));
    refused("hour 24", "entry='0' hour='24' minute='0' mode='1'", accept.arg("hour", "24").arg(23));
    refused("minute 60", "entry='0' hour='1' minute='60' mode='1'", accept.arg("minute", "60").arg(59));
    refused("mode 256", "entry='0' hour='1' minute='0' mode='256'", accept.arg("mode", "256").arg(255) + " (or 0x0 to 0xff)");
    refused("mode 0x100", "entry='0' hour='1' minute='0' mode='0x100'", accept.arg("mode", "0x100").arg(255) + " (or 0x0 to 0xff)");
    refused("hour in hex", "entry='0' hour='0x1' minute='0' mode='1'", accept.arg("hour", "0x1").arg(23));
    refused("negative minute", "entry='0' hour='1' minute='-1' mode='1'", accept.arg("minute", "-1").arg(59));
    refused("empty mode", "entry='0' hour='1' minute='0' mode=''", "Fail to recognize alarm mode");
    refused("no minute", "entry='0' hour='1' mode='1'", "Fail to find alarm minute");
    QTest::newRow("entry twice") << alarmDef("<settings entry='3' hour='1' minute='0' mode='1'/>"
                                             "<settings entry='3' hour='2' minute='0' mode='1'/>")
                                 << QByteArray() << "Fail to accept alarm entry \"3\": it is given twice";
    QTest::newRow("after the person") << root(sample + "<def type='alarm'><settings entry='0' hour='1' minute='0' mode='1'/></def>")
                                      << QByteArray()
                                      << "Fail to read Alarm Def: it must come before the person definition, which ends the reading";
}

void TestDefReader::readsAlarmTable()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, table);
    QFETCH(QString, refusal);

    CDefReader reader;
    bool ok = false;
    readWith(reader, content, ok);
    QCOMPARE(ok, refusal.isEmpty());
    QCOMPARE(reader.failureReason(), refusal);
    TestDefinition definition;
    QCOMPARE(reader.getDefinition(&definition), ok);
    if (!ok)
        return;
    QCOMPARE(definition.alarms.has_value(), !table.isNull());
    if (definition.alarms)
        QCOMPARE(bytes(*definition.alarms), table);
}

void TestDefReader::failedReadKeepsRecordsAndCanBeRetried()
{
    CDefReader reader;
    bool ok = true;
    readWith(reader, person("age=''"), ok); // leaves the file open
    QVERIFY(!ok);
    readWith(reader, person("weight='70'"), ok);
    QVERIFY(ok);
    readWith(reader, person("weight='90' sex='x'"), ok);
    QVERIFY(!ok);
    sb_conf_t c;
    QVERIFY(reader.getPerson(&c));
    QCOMPARE(c.weight, quint8(70));

    // Exists, but can't be opened as a file.
    QVERIFY(QFile::remove("def.xml") && QDir().mkdir("def.xml"));
    QCOMPARE(readWith(reader, QByteArray(), ok), QStringList{"Fail to open  \"def.xml\""});
    QVERIFY(!ok && QDir().rmdir("def.xml"));
}

QTEST_GUILESS_MAIN(TestDefReader)
#include "tst_defreader.moc"
