#include "filter/isapi_access.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace filter {

namespace {
template <typename Reader>
std::optional<std::string> readInto(DWORD bufferBytes, Reader read) {
  // The usual sizes fit on the stack: only the value itself takes memory.
  constexpr DWORD kOnStack = 1024;
  char onStack[kOnStack + 1];
  std::vector<char> onHeap;
  if (bufferBytes > kOnStack) onHeap.assign(bufferBytes + 1, '\0');
  char* buffer = onHeap.empty() ? onStack : onHeap.data();
  if (onHeap.empty()) std::memset(onStack, 0, bufferBytes + 1);  // only what the reader may use
  DWORD size = bufferBytes;
  if (!read(buffer, &size)) return std::nullopt;
  return std::string(buffer, strnlen(buffer, std::min<DWORD>(size, bufferBytes)));
}
}  // namespace

std::optional<std::string> ServerVariable(HTTP_FILTER_CONTEXT* pfc, const char* name, DWORD bufferBytes) {
  if (!pfc->GetServerVariable) return std::nullopt;
  return readInto(bufferBytes, [&](char* buffer, DWORD* size) {
    return pfc->GetServerVariable(pfc, const_cast<LPSTR>(name), buffer, size);
  });
}

std::optional<std::string> ServerVariableWhole(HTTP_FILTER_CONTEXT* pfc, const char* name) {
  if (!pfc->GetServerVariable) return std::nullopt;
  std::string value(1024, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = static_cast<DWORD>(value.size());
    if (pfc->GetServerVariable(pfc, const_cast<LPSTR>(name), value.data(), &size)) {
      value.resize(strnlen(value.data(), std::min<std::size_t>(size, value.size())));
      return value;
    }
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= value.size()) return std::nullopt;
    value.assign(size, '\0');
  }
  return std::nullopt;
}

std::optional<std::string> RequestHeader(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers,
                                         const char* name, DWORD bufferBytes) {
  if (!headers || !headers->GetHeader) return std::nullopt;
  return readInto(bufferBytes, [&](char* buffer, DWORD* size) {
    return headers->GetHeader(pfc, const_cast<LPSTR>(name), buffer, size);
  });
}

bool HasRequestHeader(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers, const char* name) {
  if (!headers || !headers->GetHeader) return false;
  char probe[1];
  DWORD size = sizeof(probe);
  return headers->GetHeader(pfc, const_cast<LPSTR>(name), probe, &size) || GetLastError() == ERROR_INSUFFICIENT_BUFFER;
}

}  // namespace filter
