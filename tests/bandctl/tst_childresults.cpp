// test --all trusts a child's "pass" only when the child then ended as a
// passing test does. The children here are a script standing in for bandctl.
#include "commandline.h"
#include "interrupt.h"
#include "output.h"
#include "paralleltests.h"
#include "subcommand.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// The last argument is the band; it says how this child behaves.
const char kChild[] =
    "#!/bin/sh\n"
    "for word; do band=$word; done\n"
    "say() { printf '{\"command\":\"test\",\"outcome\":\"%s\"}\\n' $1; }\n"
    "case $band in\n"
    "pass) say pass ;;\n"
    "crash) say pass; kill -SEGV $$ ;;\n"
    "badexit) say pass; exit 1 ;;\n"
    "failed) say fail; exit 1 ;;\n"
    "silent) ;;\n"
    "esac\n";

} // namespace

class TestChildResults : public QObject {
    Q_OBJECT

private slots:
    void onlyAChildThatEndsWellPasses()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString child = dir.filePath("child");
        QFile script(child);
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write(kChild);
        script.close();
        script.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QFile results(dir.filePath("results"));
        QVERIFY(results.open(QIODevice::ReadWrite));

        QFETCH(QString, band);
        QFETCH(QString, outcome);
        GlobalOptions options;
        options.band.kind = BandChoice::Kind::Device;
        options.band.devices = {band};
        int code = -1;
        {
            Output out(dup(results.handle()), true);
            InterruptWatch interrupt;
            CommandContext context{options, {}, out, interrupt, child};
            code = runParallelTests(context, dir.filePath("def.xml"));
        }
        results.seek(0);
        const QJsonObject result = QJsonDocument::fromJson(results.readAll().trimmed()).object();
        QCOMPARE(result.value("outcome").toString(), outcome);
        QCOMPARE(code, outcome == QLatin1StringView("pass") ? 0 : 1);
    }

    void onlyAChildThatEndsWellPasses_data()
    {
        QTest::addColumn<QString>("band");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("passed") << "pass" << "pass";
        QTest::newRow("crashed after its pass") << "crash" << "fail";
        QTest::newRow("exit code 1 after its pass") << "badexit" << "fail";
        QTest::newRow("failed") << "failed" << "fail";
        QTest::newRow("printed nothing") << "silent" << "fail";
    }

    void oneBandNamedTwiceIsBadUsage()
    {
        GlobalOptions options;
        options.band.kind = BandChoice::Kind::Device;
        options.band.devices = {"/dev/pts/7", "/dev/pts/8", "/dev/pts/7"};
        Output out(dup(STDOUT_FILENO), false);
        InterruptWatch interrupt;
        CommandContext context{options, {}, out, interrupt, QStringLiteral("/bin/false")};
        QCOMPARE(runParallelTests(context, QStringLiteral("def.xml")), 2);
    }
};

QTEST_GUILESS_MAIN(TestChildResults)
#include "tst_childresults.moc"
