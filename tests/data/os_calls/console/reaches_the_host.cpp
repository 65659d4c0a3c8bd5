// What the portability check must refuse in a system folder: each line below is one.
#include <unistd.h>
#include <sys/socket.h>
#include <filesystem>
#include <strings.h>
int a = strcasecmp("a", "A");
auto b = getpid();
bool c = std::filesystem::exists("x");
const char* d = "/dev/urandom";
__attribute__((constructor)) void e() {}
