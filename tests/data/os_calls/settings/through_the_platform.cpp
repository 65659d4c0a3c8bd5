// What the portability check lets through: Windows-shaped calls and the C++ library.
#include <cstring>
#include <string>
#include "platform/fs/file_api.h"
// getpid and timegm named in a comment are no calls.
BOOL gone = DeleteFileA("C:\\x");
