#include "tools/adsutil/property_names.h"

#include "platform/fs/windows_path.h"
#include "platform/metabase/admin_base.h"
#include "platform/text/ascii_case.h"

namespace tools::adsutil {

namespace {
constexpr PropertyName kProperties[] = {
    {"KeyType", MD_KEY_TYPE, IIS_MD_UT_SERVER, STRING_METADATA, METADATA_NO_ATTRIBUTES},
    {"ServerComment", MD_SERVER_COMMENT, IIS_MD_UT_SERVER, STRING_METADATA, METADATA_INHERIT},
    {"ServerState", MD_SERVER_STATE, IIS_MD_UT_SERVER, DWORD_METADATA, METADATA_NO_ATTRIBUTES},
    {"ServerAutoStart", MD_SERVER_AUTOSTART, IIS_MD_UT_SERVER, DWORD_METADATA, METADATA_INHERIT},
    {"ServerBindings", MD_SERVER_BINDINGS, IIS_MD_UT_SERVER, MULTISZ_METADATA, METADATA_NO_ATTRIBUTES},
    {"FilterLoadOrder", MD_FILTER_LOAD_ORDER, IIS_MD_UT_SERVER, STRING_METADATA, METADATA_NO_ATTRIBUTES},
    {"FilterPath", MD_FILTER_IMAGE_PATH, IIS_MD_UT_SERVER, STRING_METADATA, METADATA_NO_ATTRIBUTES},
    {"FilterState", MD_FILTER_STATE, IIS_MD_UT_SERVER, DWORD_METADATA, METADATA_NO_ATTRIBUTES},
    {"FilterEnabled", MD_FILTER_ENABLED, IIS_MD_UT_SERVER, DWORD_METADATA, METADATA_NO_ATTRIBUTES},
    {"FilterFlags", MD_FILTER_FLAGS, IIS_MD_UT_SERVER, DWORD_METADATA, METADATA_NO_ATTRIBUTES},
    {"FilterDescription", MD_FILTER_DESCRIPTION, IIS_MD_UT_SERVER, STRING_METADATA, METADATA_NO_ATTRIBUTES},
    {"Path", MD_VR_PATH, IIS_MD_UT_FILE, STRING_METADATA, METADATA_INHERIT},
    {"DirBrowseFlags", MD_DIRECTORY_BROWSING, IIS_MD_UT_FILE, DWORD_METADATA, METADATA_INHERIT},
    {"DefaultDoc", MD_DEFAULT_LOAD_FILE, IIS_MD_UT_FILE, STRING_METADATA, METADATA_INHERIT},
    {"ScriptMaps", MD_SCRIPT_MAPS, IIS_MD_UT_FILE, MULTISZ_METADATA, METADATA_INHERIT},
    {"MimeMap", MD_MIME_MAP, IIS_MD_UT_FILE, MULTISZ_METADATA, METADATA_INHERIT},
    {"AccessFlags", MD_ACCESS_PERM, IIS_MD_UT_FILE, DWORD_METADATA, METADATA_INHERIT},
    {"AnonymousUserName", MD_ANONYMOUS_USER_NAME, IIS_MD_UT_FILE, STRING_METADATA, METADATA_INHERIT},
};
}  // namespace

std::optional<PropertyName> propertyByName(std::string_view name) {
  for (const auto& p : kProperties)
    if (platform::text::equalsNoCase(p.name, name)) return p;
  return std::nullopt;
}

std::optional<PropertyName> propertyById(DWORD id) {
  for (const auto& p : kProperties)
    if (p.id == id) return p;
  return std::nullopt;
}

}  // namespace tools::adsutil
