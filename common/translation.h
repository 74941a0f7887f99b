// The windows' language: their texts are written in Chinese, and another
// system language gets the English translation.
#pragma once

#include <QLocale>
#include <QString>

class QCoreApplication;
class QTranslator;

// The translation file for a system language: "cn.qm" for Chinese (whatever
// the country) and for an unset language (the C locale), "en.qm" for any
// other language.
QString translationFileFor(QLocale::Language language);

// Loads the file for the system's language from folder (a path, or a
// resource folder such as ":/translations") into translator and installs it.
// A missing file leaves the Chinese source texts in place.
void installTranslation(QCoreApplication &app, QTranslator &translator, const QString &folder);

// Qt's own texts (the OK, Cancel, Yes and No of its boxes, its XML reader's
// reasons) in the windows' language: for a Chinese window qtbase_zh_CN.qm
// from Qt's translations folder, else from "translations" beside the
// program. An English window needs none. One not found is told on the
// diagnostic output.
void installQtTranslation(QCoreApplication &app, QTranslator &translator);
