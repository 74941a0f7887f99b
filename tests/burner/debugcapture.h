// Collects what the code under test writes to the debug channel.
#pragma once

#include <QStringList>
#include <QtGlobal>

class DebugCapture {
public:
    DebugCapture() : previous(qInstallMessageHandler(collect)) { active = this; }
    ~DebugCapture()
    {
        qInstallMessageHandler(previous);
        active = nullptr;
    }
    QStringList messages;

private:
    static void collect(QtMsgType type, const QMessageLogContext &, const QString &message)
    {
        if (type == QtDebugMsg && active)
            active->messages << message;
    }
    static inline DebugCapture *active = nullptr;
    QtMessageHandler previous;
};
