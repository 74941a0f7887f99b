#include "processend.h"

int endProcess(int exitCode)
{
    return exitCode;
}
