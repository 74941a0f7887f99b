#include "conffields.h"

QJsonObject confFields(const sb_conf_t &conf)
{
    return {{QStringLiteral("weight"), conf.weight},
            {QStringLiteral("height"), conf.height},
            {QStringLiteral("sex"), conf.sex ? QStringLiteral("female") : QStringLiteral("male")},
            {QStringLiteral("age"), conf.age},
            {QStringLiteral("goal"), conf.goal}};
}

const QStringList &confFieldNames()
{
    static const QStringList names = {QStringLiteral("weight"), QStringLiteral("height"), QStringLiteral("sex"),
                                      QStringLiteral("age"), QStringLiteral("goal")};
    return names;
}
