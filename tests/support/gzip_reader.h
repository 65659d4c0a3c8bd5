#pragma once
// Decodes gzip data with a reader independent of the framing under test: the system's gzip
// program on Linux, zlib's own gzip reader on Windows (which has no gzip program).

#ifdef _WIN32
#include "tests/support/gzip_reader_win32.h"
#else
#include "tests/support/gzip_reader_posix.h"
#endif
