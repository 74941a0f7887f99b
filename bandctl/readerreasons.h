// The definition readers tell why a file is refused only as debug messages
// (their written behaviour). While one of these lives (around a file's read,
// no longer), those messages are kept, and still passed on to the trace, so
// a refusal can say why.
#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

class ReaderReasons {
public:
    ReaderReasons();
    ~ReaderReasons();
    ReaderReasons(const ReaderReasons &) = delete;
    ReaderReasons &operator=(const ReaderReasons &) = delete;

    // "cannot use the WHAT definition FILE: <the reader's first failure>".
    QString refusal(const QString &what, const QString &file) const;

private:
    static void keep(QtMsgType type, const QMessageLogContext &context, const QString &message);

    QStringList messages;
    QtMessageHandler previous;
};
