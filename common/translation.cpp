#include "translation.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

QString translationFileFor(QLocale::Language language)
{
    const bool chinese = language == QLocale::Chinese || language == QLocale::C;
    return chinese ? QStringLiteral("cn.qm") : QStringLiteral("en.qm");
}

void installTranslation(QCoreApplication &app, QTranslator &translator, const QString &folder)
{
    if (translator.load(translationFileFor(QLocale::system().language()), folder))
        app.installTranslator(&translator);
}

bool installQtTranslation(QCoreApplication &app, QTranslator &translator)
{
    if (translationFileFor(QLocale::system().language()) != QLatin1String("cn.qm"))
        return true; // Qt's own texts are English already
    const QString name = QStringLiteral("qtbase_zh_CN");
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"));
    if (!translator.load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) && !translator.load(name, besideProgram)) {
        qDebug().noquote() << "Fail to find" << name + QStringLiteral(".qm") << "in"
                           << QLibraryInfo::path(QLibraryInfo::TranslationsPath) << "or" << besideProgram;
        return false;
    }
    app.installTranslator(&translator);
    return true;
}
