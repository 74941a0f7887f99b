#include "burndefinition.h"
#include "debugcapture.h"

#include <QTemporaryDir>
#include <QtTest>

class BurnDefinitionTest : public QObject {
    Q_OBJECT
private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("document"); // also "<none>": no file, "<folder>": a folder
        QTest::addColumn<QString>("cfg");         // both names empty: the read fails
        QTest::addColumn<QString>("bin");
        QTest::addColumn<QStringList>("messages");
        const QString cfgOk = "Succeed to read name of cfg:  \"a.cfg\"";
        const QString binOk = "Succeed to read name of bin:  \"a.bin\"";
        const QByteArray names = "<cfg name=\"a.cfg\"/><bin name=\"a.bin\"/>";

        QTest::newRow("minimal") << "<QAT_DEF>" + names + "</QAT_DEF>" << "a.cfg" << "a.bin" << QStringList{cfgOk, binOk};
        QTest::newRow("any case") << QByteArray("<?xml version=\"1.0\"?>\n<qat_def><CFG NAME=\"a.cfg\"/>"
                                                "<Bin Name=\"a.bin\"></Bin></qat_def>")
                                  << "a.cfg" << "a.bin" << QStringList{cfgOk, binOk};
        QTest::newRow("no file") << QByteArray("<none>") << "" << "" << QStringList{"Failed to find  \"def.xml\""};
        QTest::newRow("cannot open") << QByteArray("<folder>") << "" << "" << QStringList{"Failed to open  \"def.xml\""};
        QTest::newRow("empty file") << QByteArray() << "" << "" << QStringList();
        QTest::newRow("no element") << QByteArray("<?xml version=\"1.0\"?><!-- -->") << "" << ""
                                    << QStringList{"Failed to analyze  \"def.xml\""};
        QTest::newRow("wrong root") << "<ROOT>" + names + "</ROOT>" << "" << "" << QStringList{"Failed to read QAT_DEF"};
        QTest::newRow("name second") << QByteArray("<QAT_DEF><cfg id=\"1\" name=\"a.cfg\"/><bin name=\"a.bin\"/></QAT_DEF>")
                                     << "" << "" << QStringList{binOk};
        QTest::newRow("no attribute, then named") << "<QAT_DEF><cfg/>" + names + "</QAT_DEF>" << "a.cfg" << "a.bin"
                                                  << QStringList{cfgOk, binOk};
        QTest::newRow("empty cfg name") << QByteArray("<QAT_DEF><bin name=\"a.bin\"/><cfg name=\"\"/></QAT_DEF>")
                                        << "" << "" << QStringList{binOk, "Failed to read name of cfg"};
        QTest::newRow("empty bin name") << QByteArray("<QAT_DEF><cfg name=\"a.cfg\"/><bin name=\"\"/>" + names + "</QAT_DEF>")
                                        << "" << "" << QStringList{cfgOk, "Failed to read name of bin"};
        QTest::newRow("last bin wins") << "<QAT_DEF><bin name=\"old.bin\"/>" + names + "</QAT_DEF>" << "a.cfg" << "a.bin"
                                       << QStringList{"Succeed to read name of bin:  \"old.bin\"", cfgOk, binOk};
        QTest::newRow("other elements and contents skipped")
            << QByteArray("<QAT_DEF><x><cfg name=\"in.cfg\"/></x><cfg name=\"a.cfg\">t<bin name=\"in.bin\"/></cfg>"
                          "<y a=\"1\">t</y><bin name=\"a.bin\"/><z/></QAT_DEF>")
            << "a.cfg" << "a.bin" << QStringList{cfgOk, binOk};
        QTest::newRow("breaks off after both") << "<QAT_DEF>" + names + "<broken" << "a.cfg" << "a.bin"
                                               << QStringList{cfgOk, binOk};
        QTest::newRow("breaks off before bin") << QByteArray("<QAT_DEF><cfg name=\"a.cfg\"/><bin nam") << "" << ""
                                               << QStringList{cfgOk};
        QTest::newRow("entities, no trimming") << QByteArray("<QAT_DEF><cfg name=\" a&amp;b\"/><bin name=\"a.bin\"/></QAT_DEF>")
                                               << " a&b" << "a.bin"
                                               << QStringList{"Succeed to read name of cfg:  \" a&b\"", binOk};
        // Names are joined to bin/ and to the disk root and must stay inside them.
        for (const QString name : {"../a", "s/a", "s\\a", "..", ".", "/a"})
            QTest::newRow(qPrintable("unsafe " + name))
                << "<QAT_DEF><bin name=\"a.bin\"/><cfg name=\"" + name.toUtf8() + "\"/></QAT_DEF>" << "" << ""
                << QStringList{binOk, "Unsafe name of cfg:  " + QDebug::toString(name), "Failed to read name of cfg"};
        QTest::newRow("unsafe bin") << QByteArray("<QAT_DEF><bin name=\"../a\"/></QAT_DEF>") << "" << ""
                                    << QStringList{"Unsafe name of bin:  \"../a\"", "Failed to read name of bin"};
    }

    void read()
    {
        QFETCH(QByteArray, document);
        QFETCH(QString, cfg);
        QFETCH(QString, bin);
        QFETCH(QStringList, messages);
        QTemporaryDir work;
        QVERIFY(QDir::setCurrent(work.path()));
        QFile file("def.xml");
        if (document == "<folder>")
            QDir().mkdir("def.xml");
        else if (document != "<none>")
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(document) == document.size());
        file.close();

        DebugCapture debug;
        BurnFileNames files{"untouched", "untouched"};
        const bool ok = readBurnDefinition("def.xml", &files);
        QCOMPARE(debug.messages, messages);
        QCOMPARE(ok, !cfg.isEmpty());
        QCOMPARE(files.cfgName, ok ? cfg : "untouched");
        QCOMPARE(files.binName, ok ? bin : "untouched");
    }
};

QTEST_GUILESS_MAIN(BurnDefinitionTest)
#include "tst_burndefinition.moc"
