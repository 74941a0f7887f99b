#include "stationcheck.h"

#include "burndefinition.h"
#include "reasonforms.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

// The burn definition reader's reasons, in order: the first matching form wins.
const ReasonForm kDefinitionReasons[] = {
    {"^no such file$", QT_TRANSLATE_NOOP("StationProblem", "文件不存在")},
    {"^cannot open it: (.*)$", QT_TRANSLATE_NOOP("StationProblem", "无法打开: %1")},
    {"^line (\\d+): (.*)$", QT_TRANSLATE_NOOP("StationProblem", "第 %1 行: %2")},
    {"^the file is empty or not XML$", QT_TRANSLATE_NOOP("StationProblem", "文件为空或不是XML文件")},
    {"^no element in it$", QT_TRANSLATE_NOOP("StationProblem", "文件中没有元素")},
    {"^Failed to read QAT_DEF$", QT_TRANSLATE_NOOP("StationProblem", "无法读取 QAT_DEF")},
    {"^Failed to read name of (\\w+): the name is empty$", QT_TRANSLATE_NOOP("StationProblem", "%1 的名称为空")},
    {"^Unsafe name of (\\w+): (.*)$", QT_TRANSLATE_NOOP("StationProblem", "%1 的名称不安全: %2")},
    {"^no name of (\\w+)$", QT_TRANSLATE_NOOP("StationProblem", "没有 %1 的名称")},
};

StationProblem problem(StationProblem::Kind kind, const QString &file, const QString &detail)
{
    StationProblem p;
    p.kind = kind;
    p.file = file;
    p.detail = detail;
    return p;
}

StationProblem checkSource(const QString &path, bool isImage)
{
    using Kind = StationProblem::Kind;
    const QFileInfo info(path);
    if (!info.isFile())
        return problem(Kind::FileMissing, path, QStringLiteral("no such file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return problem(Kind::FileUnreadable, path, file.errorString());
    if (isImage && info.size() == 0)
        return problem(Kind::ImageEmpty, path, QStringLiteral("the file is empty"));
    return StationProblem();
}

} // namespace

QString StationProblem::englishText() const
{
    return ok() ? QString() : file + QStringLiteral(": ") + detail;
}

QString StationProblem::operatorText() const
{
    const auto tr = [](const char *text) { return QCoreApplication::translate("StationProblem", text); };
    switch (kind) {
    case Kind::None: return QString();
    case Kind::DefinitionMissing: return tr("找不到 %1").arg(file);
    case Kind::DefinitionInvalid:
        return tr("%1 无法使用: %2").arg(file, translateReason(detail, kDefinitionReasons, "StationProblem"));
    case Kind::FolderMissing: return tr("找不到文件夹 %1").arg(file);
    case Kind::FileMissing: return tr("找不到 %1").arg(file);
    case Kind::FileUnreadable: return tr("无法读取 %1: %2").arg(file, detail);
    case Kind::ImageEmpty: return tr("%1 是空文件").arg(file);
    }
    return QString();
}

StationProblem checkStation(const QString &definitionFile, const QString &sourceFolder, BurnFileNames *files)
{
    using Kind = StationProblem::Kind;
    if (!QFileInfo::exists(definitionFile))
        return problem(Kind::DefinitionMissing, definitionFile, QStringLiteral("no such file"));
    QString why;
    if (!readBurnDefinition(definitionFile, files, &why))
        return problem(Kind::DefinitionInvalid, definitionFile, why);
    const QString folder = sourceFolder.endsWith(QLatin1Char('/')) ? sourceFolder : sourceFolder + QLatin1Char('/');
    if (!QFileInfo(folder).isDir())
        return problem(Kind::FolderMissing, folder, QStringLiteral("no such folder"));
    const StationProblem cfg = checkSource(folder + files->cfgName, false);
    return cfg.ok() ? checkSource(folder + files->binName, true) : cfg;
}
