// regsvr32 [/u] [/s] FILE: loads an in-process COM server and calls its DllRegisterServer
// (or, with /u, DllUnregisterServer). FILE is a Windows path of the machine or a host path.
// Exit status: 0 done, 1 bad arguments, 3 the file cannot be loaded, 4 it lacks the entry
// point, 5 the call failed.

#include <dlfcn.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "platform/com/com.h"
#include "platform/fs/windows_path.h"

namespace {

bool isWindowsPath(const std::string& path) {
  return (path.size() > 2 && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) || (!path.empty() && path[0] == '\\');
}

}  // namespace

int main(int argc, char** argv) {
  bool unregister = false, silent = false;
  std::string file;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "/u" || arg == "-u") unregister = true;
    else if (arg == "/s" || arg == "-s") silent = true;
    else if (file.empty()) file = arg;
    else file.clear(), i = argc;
  }
  if (file.empty()) {
    std::fprintf(stderr, "usage: regsvr32 [/u] [/s] FILE\n");
    return 1;
  }
  std::string host = file;
  if (isWindowsPath(file)) {
    const auto mapped = platform::fs::hostPath(file);
    if (!mapped) {
      std::fprintf(stderr, "regsvr32: %s is not on a drive of this machine\n", file.c_str());
      return 3;
    }
    host = mapped->string();
  }
  std::string error;
  void* library = platform::com::loadModule(host, error);
  if (!library) {
    std::fprintf(stderr, "regsvr32: the module \"%s\" failed to load: %s\n", file.c_str(), error.c_str());
    return 3;
  }
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  auto call = reinterpret_cast<DllRegisterServerFn>(dlsym(library, entry));
  if (!call) {
    std::fprintf(stderr, "regsvr32: the module \"%s\" was loaded but the entry-point %s was not found\n", file.c_str(),
                 entry);
    return 4;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  const HRESULT hr = call();
  CoUninitialize();
  if (FAILED(hr)) {
    std::fprintf(stderr, "regsvr32: %s in %s failed. Return code was: 0x%08x\n", entry, file.c_str(),
                 static_cast<unsigned>(hr));
    return 5;
  }
  if (!silent) std::printf("%s in %s succeeded.%s\n", entry, file.c_str(), hr == S_FALSE ? " (S_FALSE)" : "");
  return 0;
}
