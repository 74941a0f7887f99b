#include "translation.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// The texts are written in Chinese: an unset language keeps them.
bool windowsInChinese(QLocale::Language language)
{
    return language == QLocale::Chinese || language == QLocale::C;
}

} // namespace

QString translationFileFor(QLocale::Language language)
{
    return windowsInChinese(language) ? QStringLiteral("cn.qm") : QStringLiteral("en.qm");
}

void installTranslation(QCoreApplication &app, QTranslator &translator, const QString &folder)
{
    if (translator.load(translationFileFor(QLocale::system().language()), folder))
        app.installTranslator(&translator);
}

void installQtTranslation(QCoreApplication &app, QTranslator &translator)
{
    if (!windowsInChinese(QLocale::system().language()))
        return; // Qt's own texts are English already
    const QString name = QStringLiteral("qtbase_zh_CN");
    const QString besideProgram = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations"));
    if (!translator.load(name, QLibraryInfo::path(QLibraryInfo::TranslationsPath)) && !translator.load(name, besideProgram)) {
        qDebug().noquote() << "Fail to find" << name + QStringLiteral(".qm") << "in"
                           << QLibraryInfo::path(QLibraryInfo::TranslationsPath) << "or" << besideProgram;
        return;
    }
    app.installTranslator(&translator);
}
