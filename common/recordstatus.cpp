#include "recordstatus.h"

#include "recordstore.h"

#include <QLabel>
#include <QStatusBar>

void showRecordProblems(const RecordStore &store, QStatusBar *bar)
{
    auto *label = new QLabel(bar);
    label->setObjectName(QStringLiteral("recordStatus"));
    label->setStyleSheet(QStringLiteral("color: rgb(200, 0, 0);"));
    label->setWordWrap(false);
    bar->addPermanentWidget(label);
    const auto show = [label](const QString &problem) {
        label->setText(problem.isEmpty() ? QString() : QStringLiteral("记录未保存: ") + problem);
        label->setToolTip(problem);
    };
    show(store.problem());
    QObject::connect(&store, &RecordStore::problemChanged, label, show);
}
