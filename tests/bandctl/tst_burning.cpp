// bandctl burn: the burner's cycle from the command line, through the whole
// simulated cycle and into a folder given as the disk.
#include "bandctlrunner.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

// A working folder as the burner expects it: def.xml and bin/.
bool prepare(const QTemporaryDir &dir)
{
    const QString source = QStringLiteral(BURNER_SOURCE_DIR);
    return QDir(dir.path()).mkdir("bin") && QDir(dir.path()).mkdir("disk")
        && QFile::copy(source + "/def.xml", dir.filePath("def.xml"))
        && QFile::copy(source + "/bin/band.cfg", dir.filePath("bin/band.cfg"))
        && QFile::copy(source + "/bin/band.bin", dir.filePath("bin/band.bin"));
}

QByteArray contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestBurning : public QObject {
    Q_OBJECT

private slots:
    void wholeSimulatedCycle()
    {
        QTemporaryDir dir;
        QVERIFY(prepare(dir));
        const BandctlRun run = runBandctl({"burn", "--simulate", "--json"}, 60000, dir.path());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().size(), 1);
        const QJsonObject result = run.json().value(0);
        QCOMPARE(result.value("outcome").toString(), QStringLiteral("pass"));
        QCOMPARE(result.value("stage").toString(), QStringLiteral("done"));
        const QJsonObject steps = result.value("steps").toObject();
        for (const char *step : {"CSD", "CSC", "CSB", "CDD", "CNC", "CNB", "RST"})
            QCOMPARE(steps.value(step).toString(), QStringLiteral("passed"));
        const QByteArray log = contents(dir.filePath("run.log"));
        QVERIFY(log.contains("Succeed to copy band.bin"));
        QVERIFY(log.endsWith("finish"));

        // Kept in the station's records, with what went onto the disk.
        const QList<QJsonObject> kept = runBandctl({"records", "--json"}, 30000, dir.path()).json();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].value("id"), result.value("record"));
        QCOMPARE(kept[0].value("program").toString(), QStringLiteral("burner"));
        QCOMPARE(kept[0].value("outcome").toString(), QStringLiteral("pass"));
        const QJsonObject details = kept[0].value("details").toObject();
        QCOMPARE(details.value("bin").toObject().value("sha256").toString(),
                 QString::fromLatin1(QCryptographicHash::hash(contents(dir.filePath("bin/band.bin")),
                                                              QCryptographicHash::Sha256).toHex()));
        QCOMPARE(details.value("steps").toObject(), steps);
        // Read back from the disk, and the band's version on its return.
        QCOMPARE(details.value("bin").toObject().value("sha256_read_back"), details.value("bin").toObject().value("sha256"));
        QVERIFY(!result.value("version").toString().isEmpty());
        QCOMPARE(kept[0].value("unit").toString(), result.value("bluetooth").toString());
    }

    void ctrlCInterruptsTheBurn()
    {
        QTemporaryDir dir;
        QVERIFY(prepare(dir));
        QProcess burn;
        burn.setWorkingDirectory(dir.path());
        startBandctl(&burn, {"burn", "--disk", "disk", "--json"});
        QTRY_VERIFY_WITH_TIMEOUT(contents(dir.filePath("run.log")).contains("Succeed to check disk/"), 10000);
        QVERIFY(::kill(pid_t(burn.processId()), SIGINT) == 0);
        const BandctlRun run = finishBandctl(&burn, 5000);
        QCOMPARE(run.exitCode, 1);
        QVERIFY(run.elapsedMs < 2000);
        QCOMPARE(run.json().value(0).value("outcome").toString(), QStringLiteral("interrupted"));
        QVERIFY(!QFile::exists(dir.filePath("disk/band.bin")));
        const QList<QJsonObject> kept = runBandctl({"records", "--json"}, 30000, dir.path()).json();
        QCOMPARE(kept.size(), 1);
        QCOMPARE(kept[0].value("outcome").toString(), QStringLiteral("interrupted"));
    }

    // Three simulated bands burned at once, each onto the disk in its own place.
    void everyBandOfAHubAtOnce()
    {
        QTemporaryDir dir;
        QVERIFY(prepare(dir));
        const BandctlRun run = runBandctl({"burn", "--all", "--simulate", "3", "--json"}, 60000, dir.path());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().size(), 3);
        QSet<QString> disks;
        for (int i = 0; i < 3; ++i) {
            const QJsonObject result = run.json()[i];
            QCOMPARE(result.value("outcome").toString(), QStringLiteral("pass"));
            QCOMPARE(result.value("usb_path").toString(), QString("1-1.%1").arg(i + 1));
            disks.insert(result.value("disk").toString());
        }
        QCOMPARE(disks.size(), 3);
        // Windows writes run.log with CRLF line ends.
        const QByteArray log = contents(dir.filePath("run.log")).replace("\r\n", "\n");
        for (int i = 1; i <= 3; ++i) {
            QCOMPARE(log.count(QString("] [1-1.%1] startup\n").arg(i).toUtf8()), 1);
            QCOMPARE(log.count(QString("][1-1.%1] Succeed to copy band.bin\n").arg(i).toUtf8()), 1);
        }
        QCOMPARE(runBandctl({"records", "--json"}, 30000, dir.path()).json().size(), 3);
        QCOMPARE(runBandctl({"burn", "--all", "--disk", "disk"}, 30000, dir.path()).exitCode, 2);
    }

    void intoAFolderAndWhatGoesWrongThere()
    {
        QTemporaryDir dir;
        QVERIFY(prepare(dir));
        const BandctlRun run = runBandctl({"burn", "--disk", "disk", "--json"}, 30000, dir.path());
        QCOMPARE(run.exitCode, 0);
        QCOMPARE(run.json().value(0).value("disk").toString(), QStringLiteral("disk/"));
        QCOMPARE(contents(dir.filePath("disk/band.bin")), contents(dir.filePath("bin/band.bin")));
        QCOMPARE(contents(dir.filePath("disk/band.cfg")), contents(dir.filePath("bin/band.cfg")));

        QVERIFY(run.json().value(0).contains("device"));

        // A second burn of the same disk replaces both files.
        QVERIFY(QFile::copy(dir.filePath("bin/band.cfg"), dir.filePath("bin/new.bin")));
        QFile::remove(dir.filePath("bin/band.bin"));
        QVERIFY(QFile::rename(dir.filePath("bin/new.bin"), dir.filePath("bin/band.bin")));
        const BandctlRun again = runBandctl({"burn", "--disk", "disk", "--json"}, 30000, dir.path());
        QCOMPARE(again.exitCode, 0);
        QCOMPARE(contents(dir.filePath("disk/band.bin")), contents(dir.filePath("bin/band.bin")));
        QCOMPARE(contents(dir.filePath("disk/band.cfg")), contents(dir.filePath("bin/band.cfg")));

        // A failed step says which and why.
        QVERIFY(QFile::remove(dir.filePath("disk/band.bin")) && QDir(dir.path()).mkpath("disk/band.bin/stuck"));
        const BandctlRun stuck = runBandctl({"burn", "--disk", "disk", "--json"}, 30000, dir.path());
        QCOMPARE(stuck.exitCode, 5);
        QCOMPARE(stuck.json().value(0).value("failed_step").toString(), QStringLiteral("ROB"));
        QVERIFY2(stuck.json().value(0).value("error").toString().startsWith("remove disk/band.bin: "), stuck.out.constData());

        QCOMPARE(runBandctl({"burn", "--disk", "disk", "--bin", "nowhere"}, 30000, dir.path()).exitCode, 4);
        QCOMPARE(runBandctl({"burn", "--disk", "no-such-disk"}, 30000, dir.path()).exitCode, 4);
        // A station.ini with a mistake burns nothing, and says which.
        QFile ini(dir.filePath("station.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[station]\nslots=17\n");
        ini.close();
        QVERIFY(QFile::remove(dir.filePath("disk/band.cfg")));
        const BandctlRun refused = runBandctl({"burn", "--disk", "disk", "--json"}, 30000, dir.path());
        QCOMPARE(refused.exitCode, 4);
        QVERIFY2(refused.json().value(0).value("station_problem").toString().contains("slots=17"), refused.out.constData());
        QVERIFY(!QFile::exists(dir.filePath("disk/band.cfg")));
        QVERIFY(ini.remove());
        QFile definition(dir.filePath("def.xml"));
        QVERIFY(definition.open(QIODevice::WriteOnly | QIODevice::Truncate));
        definition.write("<QAT_DEF><cfg name=\"band.cfg\"/>");
        definition.close();
        const BandctlRun broken = runBandctl({"burn", "--simulate"}, 30000, dir.path());
        QCOMPARE(broken.exitCode, 4);
        QVERIFY(broken.err.contains("def.xml"));
    }
};

QTEST_GUILESS_MAIN(TestBurning)
#include "tst_burning.moc"
