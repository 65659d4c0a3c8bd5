#pragma once
// The IIS Admin Base Object: the IMSAdminBase (wide-string) interface over the machine's
// metabase, created through CoCreateInstance with CLSID_MSAdminBase_W. Paths use '/' or
// '\' and compare case-insensitively; keys enumerate in creation order.

#include "platform/com/com.h"

#ifdef _WIN32
#include <initguid.h>
#include <iadmw.h>
#include <iiscnfg.h>
#include <mdmsg.h>
#else

using METADATA_HANDLE = DWORD;
using PMETADATA_HANDLE = METADATA_HANDLE*;

constexpr METADATA_HANDLE METADATA_MASTER_ROOT_HANDLE = 0;
constexpr DWORD METADATA_PERMISSION_READ = 0x1;
constexpr DWORD METADATA_PERMISSION_WRITE = 0x2;

constexpr DWORD METADATA_NO_ATTRIBUTES = 0x0;
constexpr DWORD METADATA_INHERIT = 0x1;
constexpr DWORD METADATA_PARTIAL_PATH = 0x2;
constexpr DWORD METADATA_SECURE = 0x4;
constexpr DWORD METADATA_REFERENCE = 0x8;
constexpr DWORD METADATA_VOLATILE = 0x10;
constexpr DWORD METADATA_ISINHERITED = 0x20;

constexpr DWORD IIS_MD_UT_SERVER = 1;
constexpr DWORD IIS_MD_UT_FILE = 2;

constexpr DWORD ALL_METADATA = 0;
constexpr DWORD DWORD_METADATA = 1;
constexpr DWORD STRING_METADATA = 2;
constexpr DWORD BINARY_METADATA = 3;
constexpr DWORD EXPANDSZ_METADATA = 4;
constexpr DWORD MULTISZ_METADATA = 5;

// Longest key name EnumKeys writes, terminator included.
constexpr DWORD METADATA_MAX_NAME_LEN = 256;

constexpr HRESULT MD_ERROR_DATA_NOT_FOUND = static_cast<HRESULT>(0x800CC801);
constexpr LONG ERROR_PATH_BUSY = 148;

// Identifiers the system and the stand-in web server use.
constexpr DWORD MD_KEY_TYPE = 1002;
constexpr DWORD MD_SERVER_COMMENT = 1015;
constexpr DWORD MD_SERVER_STATE = 1016;
constexpr DWORD MD_SERVER_AUTOSTART = 1017;
constexpr DWORD MD_SERVER_BINDINGS = 1023;
constexpr DWORD MD_FILTER_LOAD_ORDER = 2040;
constexpr DWORD MD_FILTER_IMAGE_PATH = 2041;
constexpr DWORD MD_FILTER_STATE = 2042;
constexpr DWORD MD_FILTER_ENABLED = 2043;
constexpr DWORD MD_FILTER_FLAGS = 2044;
constexpr DWORD MD_FILTER_DESCRIPTION = 2045;
constexpr DWORD MD_VR_PATH = 3001;
constexpr DWORD MD_DIRECTORY_BROWSING = 6000;
constexpr DWORD MD_DEFAULT_LOAD_FILE = 6011;
constexpr DWORD MD_SCRIPT_MAPS = 6014;
constexpr DWORD MD_MIME_MAP = 6015;
constexpr DWORD MD_ACCESS_PERM = 6016;
constexpr DWORD MD_ANONYMOUS_USER_NAME = 6020;

struct METADATA_RECORD {
  DWORD dwMDIdentifier;
  DWORD dwMDAttributes;
  DWORD dwMDUserType;
  DWORD dwMDDataType;
  DWORD dwMDDataLen;
  unsigned char* pbMDData;
  DWORD dwMDDataTag;
};
using PMETADATA_RECORD = METADATA_RECORD*;

constexpr CLSID CLSID_MSAdminBase_W = {0xA9E69610, 0xB80D, 0x11D0, {0xB9, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0xE7, 0x50}};
constexpr IID IID_IMSAdminBase_W = {0x70B51430, 0xB6CA, 0x11D0, {0xB9, 0xB9, 0x00, 0xA0, 0xC9, 0x22, 0xE7, 0x50}};

struct IMSAdminBaseW : IUnknown {
  // Creates every missing level of path; ERROR_ALREADY_EXISTS when the key exists.
  virtual HRESULT AddKey(METADATA_HANDLE handle, LPCWSTR path) = 0;
  virtual HRESULT DeleteKey(METADATA_HANDLE handle, LPCWSTR path) = 0;
  // name: METADATA_MAX_NAME_LEN characters. ERROR_NO_MORE_ITEMS past the last child.
  virtual HRESULT EnumKeys(METADATA_HANDLE handle, LPCWSTR path, LPWSTR name, DWORD index) = 0;
  virtual HRESULT SetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record) = 0;
  // A short buffer: ERROR_INSUFFICIENT_BUFFER with *required set to the data's size.
  virtual HRESULT GetData(METADATA_HANDLE handle, LPCWSTR path, PMETADATA_RECORD record,
                          DWORD* required) = 0;
  virtual HRESULT DeleteData(METADATA_HANDLE handle, LPCWSTR path, DWORD identifier,
                             DWORD dataType) = 0;
  virtual HRESULT OpenKey(METADATA_HANDLE handle, LPCWSTR path, DWORD access, DWORD timeoutMs,
                          PMETADATA_HANDLE result) = 0;
  virtual HRESULT CloseKey(METADATA_HANDLE handle) = 0;

 protected:
  ~IMSAdminBaseW() = default;
};
using IMSAdminBase = IMSAdminBaseW;

#endif  // _WIN32

namespace platform::metabase {

// The built-in class factory behind CLSID_MSAdminBase_W.
HRESULT createAdminBase(REFIID riid, void** object) noexcept;

}  // namespace platform::metabase
