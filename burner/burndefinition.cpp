#include "burndefinition.h"

#include "stationreport.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QXmlStreamReader>

namespace {

bool sameName(QStringView a, QLatin1String b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// The names are joined to "bin/" and to the disk root, so a name must stay
// a plain file name inside those folders.
bool isSafeFileName(const QString &name)
{
    return !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\\'))
        && !name.contains(QChar(0)) && name != QLatin1String(".")
        && name != QLatin1String("..") && !QDir::isAbsolutePath(name);
}

enum class NameResult { Skipped, Taken, Failed };

struct NameMessages {
    const char *taken;
    const char *failed;
    const char *unsafe;
};

const NameMessages cfgMessages = {"Succeed to read name of cfg: ",
                                  "Failed to read name of cfg", "Unsafe name of cfg: "};
const NameMessages binMessages = {"Succeed to read name of bin: ",
                                  "Failed to read name of bin", "Unsafe name of bin: "};

// Reads the name of a cfg or bin element from its first attribute and
// leaves the reader at the element's end.
NameResult readName(QXmlStreamReader &reader, const NameMessages &messages,
                    QString *name, QString *why)
{
    const QXmlStreamAttributes attributes = reader.attributes();
    NameResult result = NameResult::Skipped;
    if (!attributes.isEmpty()
        && sameName(attributes.first().qualifiedName(), QLatin1String("name"))) {
        const QString value = attributes.first().value().toString();
        if (value.isEmpty()) {
            qDebug() << messages.failed;
            *why = QString::fromLatin1(messages.failed) + QStringLiteral(": the name is empty");
            return NameResult::Failed;
        }
        if (!isSafeFileName(value)) {
            qDebug() << messages.unsafe << value;
            qDebug() << messages.failed;
            *why = QString::fromLatin1(messages.unsafe) + value;
            return NameResult::Failed;
        }
        qDebug() << messages.taken << value;
        *name = value;
        result = NameResult::Taken;
    }
    reader.skipCurrentElement();
    return result;
}

} // namespace

bool readBurnDefinition(const QString &fileName, BurnFileNames *files, QString *why)
{
    QString ignored;
    if (!why)
        why = &ignored;
    why->clear();
    if (!QFile::exists(fileName)) {
        qDebug() << "Failed to find " << fileName;
        *why = QStringLiteral("no such file");
        return false;
    }
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        qDebug() << "Failed to open " << fileName;
        *why = QStringLiteral("cannot open it: ") + file.errorString();
        return false;
    }
    // What the burns' records name: the bytes read here, not the file later.
    const QString sha256 = sha256Hex(file.readAll());
    file.seek(0);
    QXmlStreamReader reader(&file);
    const auto readerError = [&reader] {
        return QStringLiteral("line %1: %2").arg(reader.lineNumber()).arg(reader.errorString());
    };
    if (reader.readNext() != QXmlStreamReader::StartDocument) {
        *why = reader.hasError() ? readerError() : QStringLiteral("the file is empty or not XML");
        return false;
    }
    if (!reader.readNextStartElement()) {
        qDebug() << "Failed to analyze " << fileName;
        *why = reader.hasError() ? readerError() : QStringLiteral("no element in it");
        return false;
    }
    if (!sameName(reader.name(), QLatin1String("QAT_DEF")) || reader.hasError()) {
        qDebug() << "Failed to read QAT_DEF";
        *why = reader.hasError() ? readerError() : QStringLiteral("Failed to read QAT_DEF");
        return false;
    }

    BurnFileNames read;
    // A reader error ends the loop like the root's end does; whether the
    // file is usable is decided by the names read so far.
    while (reader.readNextStartElement()) {
        NameResult result = NameResult::Skipped;
        if (sameName(reader.name(), QLatin1String("cfg")))
            result = readName(reader, cfgMessages, &read.cfgName, why);
        else if (sameName(reader.name(), QLatin1String("bin")))
            result = readName(reader, binMessages, &read.binName, why);
        else
            reader.skipCurrentElement();
        if (result == NameResult::Failed)
            return false;
    }
    if (read.cfgName.isEmpty() || read.binName.isEmpty()) {
        const QString missing = read.cfgName.isEmpty() ? QStringLiteral("no name of cfg") : QStringLiteral("no name of bin");
        *why = reader.hasError() ? readerError() : missing;
        return false;
    }
    read.defSha256 = sha256;
    *files = read;
    return true;
}
