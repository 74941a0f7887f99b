#include "runrecords.h"

#include "result.h"

void keepRecord(RecordStore &store, RunRecord &record, Result &result)
{
    if (store.write(record))
        result.add(QStringLiteral("record"), record.id.toString(QUuid::WithoutBraces));
    else
        result.add(QStringLiteral("record_problem"), store.problem());
}
