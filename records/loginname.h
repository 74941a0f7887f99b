// The account running the program, as the system knows it (not $USER or
// %USERNAME%, which anyone can set).
#pragma once

#include <QString>

QString loginName();
