// Burns on temporary folders: the working folder holds bin/ and run.log, a
// second one plays the band's disk.
#include "burnprocess.h"
#include "filecopy.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <dlfcn.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>

namespace {

// Set by a test: the file whose copy the disk spoils before it is read back.
QByteArray spoilOnDisk;

} // namespace

// The read-back asks the system to drop the file's cached pages here first.
// A test can spoil one byte of that file just then, as a failing disk would:
// the dirty page stays cached and the read-back sees the spoilt byte.
extern "C" int posix_fadvise(int fd, off_t offset, off_t length, int advice)
{
    char path[4096] = {};
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t size = ::readlink(link.constData(), path, sizeof path - 1);
    if (!spoilOnDisk.isEmpty() && size > 0 && QByteArray(path).endsWith(spoilOnDisk)) {
        spoilOnDisk.clear();
        const int writable = ::open(link.constData(), O_RDWR | O_CLOEXEC);
        char byte = 0;
        if (writable >= 0 && ::pread(writable, &byte, 1, 100) == 1) {
            byte = char(~byte);
            (void)!::pwrite(writable, &byte, 1, 100);
        }
        if (writable >= 0)
            ::close(writable);
    }
    using Advise = int (*)(int, off_t, off_t, int);
    static const auto real = reinterpret_cast<Advise>(dlsym(RTLD_NEXT, "posix_fadvise"));
    return real(fd, offset, length, advice);
}

namespace {

const BurnFileNames names{"app.cfg", "app.bin"};
const QString checkRecords = "\t[T]Succeed to check bin/\n\t[T]Succeed to check bin/app.cfg\n"
                             "\t[T]Succeed to check bin/app.bin\n\t[T]Succeed to check <D>\n";
const int longPauseMs = 10 * 60 * 1000;

void put(const QString &path, const QByteArray &content)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(content);
}

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// "0+ 1+ 2-": the reported steps and results in order.
QString reports(const QSignalSpy &spy)
{
    QStringList steps;
    for (const QList<QVariant> &args : spy)
        steps << QString::number(args.at(0).toUInt()) + (args.at(1).toBool() ? "+" : "-");
    return steps.join(' ');
}

QString maskedLog()
{
    QString text = QString::fromUtf8(contentOf("run.log"));
    text.replace("\r\n", "\n"); // run.log has the platform's line ends
    text.replace(QRegularExpression("\\[\\d{4}-\\d\\d-\\d\\d____\\d\\d:\\d\\d:\\d\\d\\] "), "[D] ");
    return text.replace(QRegularExpression("\t\\[\\d\\d:\\d\\d:\\d\\d\\]"), "\t[T]");
}

QString listing(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot, QDir::Name).join(' ');
}

} // namespace

class BurnProcessTest : public QObject {
    Q_OBJECT
    std::unique_ptr<QTemporaryDir> work, disk;
    QString root;

    void prepareSource()
    {
        QDir().mkdir("bin");
        put("bin/app.cfg", "configuration");
        put("bin/app.bin", "firmware image");
    }

private slots:
    void init()
    {
        work = std::make_unique<QTemporaryDir>();
        disk = std::make_unique<QTemporaryDir>();
        QVERIFY(QDir::setCurrent(work->path()));
        root = disk->path() + '/';
    }

    void steps_data()
    {
        QTest::addColumn<QString>("setup");
        QTest::addColumn<QString>("reported");
        QTest::addColumn<QString>("records"); // between startup and finish; <D> is the disk root
        QTest::addColumn<QString>("diskAfter");
        const QString ok0 = "\t[T]Succeed to check bin/\n", ok1 = "\t[T]Succeed to check bin/app.cfg\n";
        const QString ok2 = "\t[T]Succeed to check bin/app.bin\n", ok3 = "\t[T]Succeed to check <D>\n";
        const QString checks = checkRecords;
        const QString copies = "\t[T]Succeed to copy app.cfg\n\t[T]Succeed to copy app.bin\n";
        const QString all = "0+ 1+ 2+ 3+ 4+ 6+ 7+";

        QTest::newRow("no bin/") << "disk" << "0-" << "\t[T]Failed to check bin/\n" << "";
        QTest::newRow("no cfg") << "src nocfg disk" << "0+ 1-" << ok0 + "\t[T]Failed to check bin/app.cfg\n" << "";
        QTest::newRow("no bin") << "src nobin disk" << "0+ 1+ 2-" << ok0 + ok1 + "\t[T]Failed to check bin/app.bin\n" << "";
        QTest::newRow("empty image") << "src emptybin disk" << "0+ 1+ 2-" << ok0 + ok1 + "\t[T]Failed to check bin/app.bin\n" << "";
        QTest::newRow("no disk") << "src" << "0+ 1+ 2+ 3-" << ok0 + ok1 + ok2 + "\t[T]Failed to check <D>\n" << "";
        QTest::newRow("old image removed, default kept") << "src disk old default" << all
            << checks + "\t[T]Succeed to remove <D>app.bin\n" + copies << "DEFAULT.CFG app.bin app.cfg";
        QTest::newRow("default removed") << "src disk default" << "0+ 1+ 2+ 3+ 4+ 5+ 6+ 7+"
            << checks + "\t[T]Succeed to remove <D>DEFAULT.CFG\n" + copies << "app.bin app.cfg";
        QTest::newRow("nothing to remove") << "src disk" << all << checks + copies << "app.bin app.cfg";
        QTest::newRow("root without /") << "src disk noslash" << all << checks + copies << "app.bin app.cfg";
        // A second burn of the same disk: both files are replaced.
        QTest::newRow("burned before") << "src disk old cfgthere" << all
            << checks + "\t[T]Succeed to remove <D>app.bin\n" + copies << "app.bin app.cfg";
        // A folder in a file's place cannot be removed, not even by root.
        QTest::newRow("old image stuck") << "src disk oldfolder" << "0+ 1+ 2+ 3+ 4-"
            << checks + "\t[T]Failed to remove <D>app.bin\n" << "app.bin";
        QTest::newRow("default stuck") << "src disk defaultfolder" << "0+ 1+ 2+ 3+ 4+ 5-"
            << checks + "\t[T]Failed to remove <D>DEFAULT.CFG\n" << "DEFAULT.CFG";
        // The disk is a file: found before anything is removed.
        QTest::newRow("disk is a file") << "src diskfile" << "0+ 1+ 2+ 3-"
            << ok0 + ok1 + ok2 + "\t[T]Failed to check <D>\n" << "gone";
    }

    void steps()
    {
        QFETCH(QString, setup);
        QFETCH(QString, reported);
        QFETCH(QString, records);
        QFETCH(QString, diskAfter);
        const QStringList has = setup.split(' ');
        if (has.contains("src")) prepareSource();
        if (has.contains("nocfg")) QFile::remove("bin/app.cfg");
        if (has.contains("nobin")) QFile::remove("bin/app.bin");
        if (has.contains("emptybin")) put("bin/app.bin", "");
        if (!has.contains("disk")) root += "gone/";
        if (has.contains("diskfile")) put(root.chopped(1), "a file");
        if (has.contains("old")) put(root + "app.bin", "old image");
        if (has.contains("default")) put(root + "DEFAULT.CFG", "default");
        if (has.contains("cfgthere")) put(root + "app.cfg", "older configuration");
        if (has.contains("oldfolder")) QDir().mkpath(root + "app.bin/x");
        if (has.contains("defaultfolder")) QDir().mkpath(root + "DEFAULT.CFG/x");
        const BurnFileNames files = names;

        CBurnProcess burn;
        burn.setPauseMs(0);
        QSignalSpy spy(&burn, &CBurnProcess::processOk);
        burn.startBurn(has.contains("noslash") ? disk->path() : root, files);
        burn.wait();

        QCOMPARE(reports(spy), reported);
        QCOMPARE(maskedLog(), "[D] startup\n" + records.replace("<D>", root) + "[D] finish");
        QCOMPARE(listing(disk->path()), has.contains("disk") || has.contains("diskfile") ? diskAfter : QString());
        // Every failure names its step and why; a pass has none.
        QCOMPARE(burn.failureReason().isEmpty(), reported.endsWith("7+"));
        if (reported.endsWith("7+")) {
            QCOMPARE(contentOf(root + "app.cfg"), QByteArray("configuration"));
            QCOMPARE(contentOf(root + "app.bin"), QByteArray("firmware image"));
        }
    }

    // Stopped in the pause before a copy: that copy is logged and reported as
    // failed, the run finishes, and later runs append to run.log.
    void stopAndRunAgain()
    {
        prepareSource();
        auto burn = std::make_unique<CBurnProcess>();
        QSignalSpy spy(burn.get(), &CBurnProcess::processOk);
        int removalsDone = 0; // counted on this thread
        connect(burn.get(), &CBurnProcess::processOk, this, [&](uint idx) { removalsDone += idx == 4; });
        burn->setPauseMs(longPauseMs);
        burn->startBurn(root, names);
        QTRY_VERIFY_WITH_TIMEOUT(removalsDone == 1, 60000);
        burn->stop();
        QVERIFY(burn->isFinished());
        QCOMPARE(reports(spy), QString("0+ 1+ 2+ 3+ 4+ 6-"));
        QCOMPARE(listing(root), QString());
        const QString stopped = maskedLog();
        QVERIFY2(stopped.endsWith("Succeed to check " + root + "\n\t[T]Failed to copy app.cfg\n[D] finish"), qPrintable(stopped));

        spy.clear();
        burn->setPauseMs(0);
        burn->startBurn(root, names);
        burn->wait();
        QCOMPARE(reports(spy), QString("0+ 1+ 2+ 3+ 4+ 6+ 7+"));
        QVERIFY(maskedLog().startsWith(stopped + "[D] startup\n"));

        // The next run starts on the finish line; destroying it mid-run stops it.
        QVERIFY(QFile::remove(root + "app.cfg") && QFile::remove(root + "app.bin"));
        burn->setPauseMs(longPauseMs);
        burn->startBurn(root, names);
        QTRY_VERIFY_WITH_TIMEOUT(removalsDone == 3, 60000);
        burn.reset();
        QVERIFY(maskedLog().endsWith("app.bin\n[D] finish[D] startup\n" + QString(checkRecords).replace("<D>", root)
                                     + "\t[T]Failed to copy app.cfg\n[D] finish"));
        QCOMPARE(listing(root), QString());
    }

    // Stopped as the image copy begins: the image is reported and logged as
    // not copied, and no part of it stays on the disk.
    void stopDuringImageCopy()
    {
        prepareSource();
        CBurnProcess burn;
        burn.setPauseMs(0);
        QSignalSpy spy(&burn, &CBurnProcess::processOk);
        QSignalSpy started(&burn, &CBurnProcess::stepStarted);
        connect(&burn, &CBurnProcess::stepStarted, &burn, [&burn](uint idx) {
            if (idx == 7)
                burn.requestStop();
        }, Qt::DirectConnection);
        burn.startBurn(root, names);
        QVERIFY(burn.wait(60000));
        QCOMPARE(reports(spy), QString("0+ 1+ 2+ 3+ 4+ 6+ 7-"));
        QCOMPARE(started.count(), 7); // every reported step began first
        QVERIFY(maskedLog().endsWith("Succeed to copy app.cfg\n\t[T]Failed to copy app.bin\n[D] finish"));
        QCOMPARE(listing(root), QString("app.cfg"));
    }

    // The copy goes in pieces: a long file arrives whole and is read back;
    // a copy that fails or is stopped leaves the file it would replace as
    // it was; a file already there is replaced whole.
    void copyInPieces()
    {
        QByteArray image(3 * 1024 * 1024 + 17, Qt::Uninitialized);
        for (int i = 0; i < image.size(); ++i)
            image[i] = char(i * 7);
        put("image", image);
        const QString sha256 = QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex();
        CopyResult copied = copyFileToDisk("image", root + "a", [] { return false; });
        QCOMPARE(copied.outcome, CopyOutcome::Copied);
        QCOMPARE(copied.sha256, sha256);
        QCOMPARE(copied.diskSha256, sha256);
        QCOMPARE(contentOf(root + "a"), image);
        put(root + "b", "older");
        int asked = 0;
        QCOMPARE(copyFileToDisk("image", root + "b", [&asked] { return ++asked > 3; }).outcome, CopyOutcome::Stopped);
        QCOMPARE(contentOf(root + "b"), QByteArray("older"));
        const CopyResult missing = copyFileToDisk("missing", root + "b", [] { return false; });
        QCOMPARE(missing.outcome, CopyOutcome::Failed);
        QVERIFY(!missing.error.isEmpty());
        QCOMPARE(contentOf(root + "b"), QByteArray("older"));
        QCOMPARE(copyFileToDisk("image", root + "b", [] { return false; }).outcome, CopyOutcome::Copied);
        QCOMPARE(contentOf(root + "b"), image);
        QCOMPARE(listing(root), QString("a b"));
    }

    // The disk keeps something else than was written: the copy fails, the
    // record gets both hashes, run.log says so as for any failed copy, and
    // the spoilt image does not stay for the band to start.
    void readBackDiffers()
    {
        prepareSource();
        QByteArray image(300 * 1024, 'x');
        put("bin/app.bin", image);
        spoilOnDisk = "/app.bin";
        CBurnProcess burn;
        burn.setPauseMs(0);
        QSignalSpy spy(&burn, &CBurnProcess::processOk);
        burn.startBurn(root, names);
        burn.wait();
        QVERIFY(spoilOnDisk.isEmpty());
        QCOMPARE(reports(spy), QString("0+ 1+ 2+ 3+ 4+ 6+ 7-"));
        QVERIFY(maskedLog().endsWith("\t[T]Succeed to copy app.cfg\n\t[T]Failed to copy app.bin\n[D] finish"));
        const CopyResult result = burn.copies().value("app.bin");
        QCOMPARE(result.sha256, QString(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
        image[100] = char(~image[100]);
        QCOMPARE(result.diskSha256, QString(QCryptographicHash::hash(image, QCryptographicHash::Sha256).toHex()));
        QVERIFY2(burn.failureReason().startsWith("copy app.bin: the copy read back from the disk differs"),
                 qPrintable(burn.failureReason()));
        QCOMPARE(listing(root), QString("app.cfg"));
    }

    // Missing inputs start nothing; a log that cannot be opened ends the run
    // before its first step.
    void noRunWithoutInputsOrLog()
    {
        prepareSource();
        const QList<QStringList> starts{{"", "a.cfg", "a.bin"}, {root, "", "a.bin"}, {root, "a.cfg", ""}};
        for (const QStringList &start : starts) {
            CBurnProcess burn;
            burn.startBurn(start[0], BurnFileNames{start[1], start[2]});
            QVERIFY(!burn.isRunning() && !burn.isFinished());
        }
        QVERIFY(!QFile::exists("run.log"));
        QDir().mkdir("run.log");
        CBurnProcess burn;
        QSignalSpy spy(&burn, &CBurnProcess::processOk);
        burn.startBurn(root, names);
        QVERIFY(burn.wait() && burn.isFinished());
        QCOMPARE(spy.count(), 0);
        QCOMPARE(listing(root), QString());
    }
};

QTEST_GUILESS_MAIN(BurnProcessTest)
#include "tst_burnprocess.moc"
