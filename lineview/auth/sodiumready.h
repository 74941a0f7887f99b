// libsodium must be initialised once before its hashing picks its fastest
// code and before its random numbers are used.
#pragma once

void ensureSodiumReady();
