// The def.xml reader's reasons (English, as in the debug output and
// bandctl) in the operator's language, for the start-up box and the panels.
#pragma once

#include <QString>

// A reason the reader gives, translated; one it does not know stays as it is.
QString operatorDefReason(const QString &reason);
