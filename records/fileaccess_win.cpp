#include "fileaccess.h"

#include <QString>

bool readableByOthers(const QString &)
{
    // The station folder lies in the operator's own profile, which Windows
    // keeps from other users; its ACLs are not looked at here.
    return false;
}
