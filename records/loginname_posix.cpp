#include "loginname.h"

#include <pwd.h>
#include <unistd.h>

QString loginName()
{
    if (const passwd *pw = getpwuid(geteuid()))
        return QString::fromLocal8Bit(pw->pw_name);
    return QString::number(geteuid());
}
