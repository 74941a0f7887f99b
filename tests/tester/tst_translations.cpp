// Every text of the tester's window has a finished English translation: the
// sources are scanned afresh, so a text added anywhere that shows in the
// window (also the shared status-bar line) fails here until translated.
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QTemporaryDir>
#include <QXmlStreamReader>
#include <QtTest>

namespace {

struct Message {
    QString translation;
    QString type; // "" when finished; "unfinished", "vanished", "obsolete"
};

// (context, source) -> translation, from a .ts file.
QMap<QPair<QString, QString>, Message> readTs(const QString &path)
{
    QMap<QPair<QString, QString>, Message> messages;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return messages;
    QXmlStreamReader xml(&file);
    QString context, source;
    while (!xml.atEnd()) {
        if (!xml.readNextStartElement())
            continue;
        if (xml.name() == QLatin1StringView("name")) {
            context = xml.readElementText();
        } else if (xml.name() == QLatin1StringView("source")) {
            source = xml.readElementText();
        } else if (xml.name() == QLatin1StringView("translation")) {
            const QString type = xml.attributes().value("type").toString();
            messages.insert({context, source}, {xml.readElementText(), type});
        }
    }
    return messages;
}

} // namespace

class TestTranslations : public QObject {
    Q_OBJECT
private slots:
    void everyTextHasAnEnglishTranslation();
};

void TestTranslations::everyTextHasAnEnglishTranslation()
{
    QTemporaryDir dir;
    const QString scanned = dir.filePath("scanned.ts");
    QProcess lupdate;
    lupdate.start(LUPDATE, QString(TESTER_TRANSLATED_SOURCES).split('|') + QStringList{"-silent", "-ts", scanned});
    QVERIFY(lupdate.waitForFinished(60000));
    QCOMPARE(lupdate.exitCode(), 0);

    const auto sources = readTs(scanned);
    const auto english = readTs(TESTER_TS_FILE);
    QVERIFY(sources.size() >= 20); // the form's texts and the boxes' at least
    QStringList missing;
    for (auto it = sources.keyBegin(); it != sources.keyEnd(); ++it) {
        const Message m = english.value(*it);
        if (!english.contains(*it) || !m.type.isEmpty() || m.translation.isEmpty())
            missing << it->first + ": " + it->second;
    }
    QVERIFY2(missing.isEmpty(), qPrintable("not translated in " TESTER_TS_FILE ":\n" + missing.join('\n')));
}

QTEST_GUILESS_MAIN(TestTranslations)
#include "tst_translations.moc"
