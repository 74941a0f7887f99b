#include "translation.h"

#include <QCoreApplication>
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
