#pragma once
// A fresh machine for each test: the stand-ins' machine root on Linux, Wine's own drive and
// registry on Windows. Both give MachineTest with driveC, the file helpers and installProduct.

#ifdef _WIN32
#include "tests/support/machine_fixture_win32.h"
#else
#include "tests/support/machine_fixture_posix.h"
#endif
