#pragma once

#include "platform/registry/registry.h"
#include "platform/unique_resource.h"

// An open registry key, closed with RegCloseKey.
using UniqueKey = UniqueResource<HKEY, &RegCloseKey>;
