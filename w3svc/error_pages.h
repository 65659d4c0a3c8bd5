#pragma once
// Reason phrases and the short HTML pages the server answers errors with.

#include <string>

namespace w3svc {

std::string reasonPhrase(unsigned status);
std::string errorPage(unsigned status);

}  // namespace w3svc
