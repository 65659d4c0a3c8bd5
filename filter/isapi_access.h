#pragma once
// Reading the server's variables and headers into bounded texts, as the filter reads
// them into fixed buffers: a value that does not fit its buffer counts as absent.

#include <optional>
#include <string>

#include "platform/isapi/httpfilt.h"

namespace filter {

// bufferBytes includes the terminator.
std::optional<std::string> ServerVariable(HTTP_FILTER_CONTEXT* pfc, const char* name, DWORD bufferBytes);
// The whole value however long (asked again with the size the server says it needs).
std::optional<std::string> ServerVariableWhole(HTTP_FILTER_CONTEXT* pfc, const char* name);
std::optional<std::string> RequestHeader(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers,
                                         const char* name, DWORD bufferBytes);
// Whether the request has the header at all, however long its value.
bool HasRequestHeader(HTTP_FILTER_CONTEXT* pfc, HTTP_FILTER_PREPROC_HEADERS* headers, const char* name);

}  // namespace filter
