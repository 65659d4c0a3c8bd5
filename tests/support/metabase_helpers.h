#pragma once
// Shortcuts for setting up sites in the test machine's metabase: the stand-in's store on
// Linux, the metabase reached through IMSAdminBaseW on Windows.

#ifdef _WIN32
#include "tests/support/metabase_helpers_win32.h"
#else
#include "tests/support/metabase_helpers_posix.h"
#endif
