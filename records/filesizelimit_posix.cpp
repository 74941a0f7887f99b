#include "filesizelimit.h"

#include <csignal>

void takeFileSizeLimitAsWriteError()
{
    std::signal(SIGXFSZ, SIG_IGN); // write() then fails with EFBIG
}
