#include "sodiumready.h"

#include <QtGlobal>

#include <sodium.h>

void ensureSodiumReady()
{
    // Safe to call from any thread and any number of times.
    if (sodium_init() < 0)
        qFatal("libsodium could not be initialised");
}
