// The bandsim command as someone at a shell meets it: its faults are
// switched on from the command line, and bad names are refused.
#include "bandclient.h"

#include <bandlink.h>

#include <QProcess>
#include <QTest>

class TestCommand : public QObject {
    Q_OBJECT

private slots:
    void helpListsEveryFaultAndItem()
    {
        QProcess bandsim;
        bandsim.start(BANDSIM_PATH, {"--help"});
        QVERIFY(bandsim.waitForFinished(5000));
        QCOMPARE(bandsim.exitCode(), 0);
        const QByteArray help = bandsim.readAllStandardOutput();
        for (const char *name : {"no-answer", "late-answer", "stray-bytes", "wrong-check-byte", "payload-in-pieces",
                                 "wrong-length", "refused-write", "stores-different-value", "drops-off-after-answer",
                                 "conf 0x02", "day-stat-6 0x16", "version 0xFF"})
            QVERIFY2(help.contains(name), name);
    }

    void badNamesAreRefused_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QByteArray>("complaint");
        QTest::newRow("fault") << QStringList{"--fault", "slow-answer:time"} << QByteArray("unknown fault \"slow-answer\"");
        QTest::newRow("item") << QStringList{"--fault", "no-answer:clock"} << QByteArray("unknown item \"clock\"");
        QTest::newRow("code") << QStringList{"--fault", "no-answer:256"} << QByteArray("unknown item \"256\"");
        QTest::newRow("missing") << QStringList{"--fault"} << QByteArray("incomplete option \"--fault\"");
    }
    void badNamesAreRefused()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, complaint);
        QProcess bandsim;
        bandsim.start(BANDSIM_PATH, arguments);
        QVERIFY(bandsim.waitForFinished(5000));
        QCOMPARE(bandsim.exitCode(), 2);
        QVERIFY(bandsim.readAllStandardError().contains(complaint));
        QVERIFY(bandsim.readAllStandardOutput().isEmpty()); // no band was plugged in
    }

    void faultsApplyToTheirItems()
    {
        QProcess bandsim;
        bandsim.start(BANDSIM_PATH, {"--fault", "no-answer:version", "--fault", "refused-write:0x02"});
        QByteArray said;
        while (!said.contains("/dev/") || !said.endsWith('\n')) {
            QVERIFY(bandsim.waitForReadyRead(5000));
            said += bandsim.readAllStandardOutput();
        }
        QVERIFY(said.contains("Fault switched on: no-answer on version (0xFF)"));
        const int at = said.indexOf("/dev/");
        BandClient client(said.mid(at, said.indexOf('\n', at) - at).toStdString());
        QVERIFY(client.isOpen());
        client.send(commandFrame(SB_OP_READ, SB_ITEM_VERSION));
        QVERIFY(client.readUntilQuiet(300).isEmpty());
        client.send(commandFrame(SB_OP_WRITE, SB_ITEM_CONF, QByteArray::fromHex("3caa01191f40")));
        QCOMPARE(client.readFrame(), commandFrame(SB_OP_WRITE_REPLY, SB_ITEM_CONF, QByteArray(1, 0)));
        client.send(commandFrame(SB_OP_READ, SB_ITEM_TIME)); // no fault there
        QCOMPARE(client.readFrame().size(), 12);
        bandsim.terminate();
        QVERIFY(bandsim.waitForFinished(5000));
        QCOMPARE(bandsim.exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(TestCommand)
#include "tst_command.moc"
