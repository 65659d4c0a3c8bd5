#pragma once
// Metabase property names the administrator types, with the identifier, user type, data
// type and attributes IIS gives them.

#include <optional>
#include <string_view>

#include "platform/win_types.h"

namespace tools::adsutil {

struct PropertyName {
  const char* name;
  DWORD id;
  DWORD userType;
  DWORD dataType;
  DWORD attributes;
};

std::optional<PropertyName> propertyByName(std::string_view name);
std::optional<PropertyName> propertyById(DWORD id);

}  // namespace tools::adsutil
