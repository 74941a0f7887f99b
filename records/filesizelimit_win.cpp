#include "filesizelimit.h"

void takeFileSizeLimitAsWriteError()
{
    // Windows has no file-size signal: a write past a quota simply fails.
}
