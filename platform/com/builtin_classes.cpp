// The classes a Windows machine with IIS provides without any registration of ours.

#include "platform/com/com.h"
#include "platform/metabase/admin_base.h"

namespace platform::com {

std::optional<BuiltInFactory> findBuiltInClass(REFCLSID clsid) {
  if (clsid == CLSID_MSAdminBase_W) return &metabase::createAdminBase;
  return std::nullopt;
}

}  // namespace platform::com
