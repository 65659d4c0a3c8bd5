#include "settings/metabase_session.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/metabase/admin_base.h"
#include "platform/text/wide_text.h"

namespace settings {

namespace {

constexpr DWORD kClassContext = 0x17;  // in-process server and handler, local and remote server
constexpr DWORD kOpenTimeoutMs = 60000;
constexpr DWORD kAccessRead = METADATA_PERMISSION_READ;
constexpr DWORD kAccessWrite = METADATA_PERMISSION_WRITE;
constexpr DWORD kAccessReadWrite = METADATA_PERMISSION_READ | METADATA_PERMISSION_WRITE;
constexpr int kPathChars = 260;
constexpr DWORD kReadStringStart = 10096;
constexpr DWORD kSiteStringStart = 260;
constexpr DWORD kSiteStringLimit = 2600;

// One cycle's COM membership and admin base object; released in reverse order.
class Cycle {
 public:
  Cycle() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    // The console's thread is already single-threaded: join that apartment instead.
    if (hr == RPC_E_CHANGED_MODE) hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr)) return;
    joined_ = true;
    void* object = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_MSAdminBase_W, nullptr, kClassContext, IID_IMSAdminBase_W, &object)))
      base_ = static_cast<IMSAdminBaseW*>(object);
  }
  ~Cycle() {
    if (handle_) base_->CloseKey(handle_);
    if (base_) base_->Release();
    if (joined_) CoUninitialize();
  }
  Cycle(const Cycle&) = delete;
  Cycle& operator=(const Cycle&) = delete;

  IMSAdminBaseW* base() const { return base_; }
  METADATA_HANDLE handle() const { return handle_; }

  // Opens path relative to the master root; a previous handle of this cycle is closed.
  bool open(const platform::text::WideString& path, DWORD access) {
    if (!base_) return false;
    if (handle_) {
      base_->CloseKey(handle_);
      handle_ = 0;
    }
    METADATA_HANDLE h = 0;
    if (FAILED(base_->OpenKey(METADATA_MASTER_ROOT_HANDLE, path.c_str(), access, kOpenTimeoutMs, &h))) return false;
    handle_ = h;
    return true;
  }

 private:
  bool joined_ = false;
  IMSAdminBaseW* base_ = nullptr;
  METADATA_HANDLE handle_ = 0;
};

// A path or sub-path in its 260-character wide buffer: longer text does not convert.
std::optional<platform::text::WideString> toWidePath(const char* text) {
  WCHAR buffer[kPathChars];
  if (MultiByteToWideChar(CP_ACP, 0, text ? text : "", -1, buffer, kPathChars) == 0) return std::nullopt;
  return platform::text::WideString(buffer);
}

// The record's data as ANSI text: dataLen bytes hold half as many wide characters; the
// text ends at the first terminator, so a multi-string gives its first string.
std::optional<std::string> recordText(const std::vector<unsigned char>& buffer, DWORD dataLen) {
  platform::text::WideString wide;
  const std::size_t units = std::min<std::size_t>(dataLen, buffer.size()) / 2;
  for (std::size_t i = 0; i < units; ++i) {
    WCHAR c = static_cast<WCHAR>(buffer[2 * i] | (buffer[2 * i + 1] << 8));
    if (c == 0) break;
    wide.push_back(c);
  }
  return platform::text::narrow(wide);
}

METADATA_RECORD readRecord(DWORD identifier, DWORD userType, std::vector<unsigned char>& buffer, DWORD dataLen) {
  return METADATA_RECORD{identifier, METADATA_INHERIT, userType, ALL_METADATA, dataLen, buffer.data(), 0};
}

std::string siteText(const char* format, DWORD number, const char* extra = nullptr) {
  char buffer[64 + kPathChars];
  if (extra)
    std::snprintf(buffer, sizeof(buffer), format, number, extra);
  else
    std::snprintf(buffer, sizeof(buffer), format, number);
  return buffer;
}

}  // namespace

std::optional<std::string> MetabaseSession::EnumChildKey(DWORD index, const char* subPath) {
  Cycle cycle;
  std::string sub = "/W3SVC";
  if (subPath && *subPath) sub += std::string("/") + subPath;
  auto path = toWidePath("/LM");
  auto wideSub = toWidePath(sub.c_str());
  if (!path || !wideSub || !cycle.open(*path, kAccessRead)) return std::nullopt;
  WCHAR name[kPathChars] = {};
  if (FAILED(cycle.base()->EnumKeys(cycle.handle(), wideSub->c_str(), name, index))) return std::nullopt;
  std::string result = platform::text::narrow(name);
  if (result.empty()) return std::nullopt;
  return result;
}

std::optional<std::string> MetabaseSession::ReadString(const char* path, const char* subPath, DWORD identifier,
                                                       DWORD userType) {
  Cycle cycle;
  auto widePath = toWidePath(path);
  auto wideSub = toWidePath(subPath);
  if (!widePath || !wideSub || !cycle.open(*widePath, kAccessRead)) return std::nullopt;
  std::vector<unsigned char> buffer(kReadStringStart, 0);
  DWORD required = kReadStringStart;
  DWORD dataLen = kReadStringStart;
  while (true) {
    METADATA_RECORD record = readRecord(identifier, userType, buffer, dataLen);
    HRESULT hr = cycle.base()->GetData(cycle.handle(), wideSub->c_str(), &record, &required);
    if (SUCCEEDED(hr)) return recordText(buffer, record.dwMDDataLen);
    // Grow only for a short buffer that the reported size would cure; any other failure
    // would otherwise be retried for ever.
    if (hr != HRESULT_FROM_WIN32(ERROR_INSUFFICIENT_BUFFER) || required <= dataLen) return std::nullopt;
    buffer.assign(static_cast<std::size_t>(required) + 1, 0);
    dataLen = required;
  }
}

// A home folder is read with room to grow as other site strings are: a fixed 260 bytes held
// 129 characters, and a longer folder ended the settings' load at its site.
std::optional<std::string> MetabaseSession::ReadSiteRoot(DWORD siteNumber, DWORD identifier) {
  return ReadSiteString(siteNumber, identifier, IIS_MD_UT_FILE, "Root");
}

std::optional<std::string> MetabaseSession::ReadSiteString(DWORD siteNumber, DWORD identifier, DWORD userType,
                                                           const char* subKey) {
  Cycle cycle;
  std::string path = subKey ? siteText("/LM/W3SVC/%u", siteNumber) : "/LM/W3SVC";
  std::string sub = subKey ? "/" + std::string(subKey) : siteText("/%u", siteNumber);
  auto widePath = toWidePath(path.c_str());
  auto wideSub = toWidePath(sub.c_str());
  if (!widePath || !wideSub || !cycle.open(*widePath, kAccessRead)) return std::nullopt;
  DWORD size = kSiteStringStart;
  while (size < kSiteStringLimit) {
    std::vector<unsigned char> buffer(static_cast<std::size_t>(size) + 1, 0);
    DWORD required = size;
    METADATA_RECORD record = readRecord(identifier, userType, buffer, size);
    HRESULT hr = cycle.base()->GetData(cycle.handle(), wideSub->c_str(), &record, &required);
    if (SUCCEEDED(hr)) return recordText(buffer, record.dwMDDataLen);
    // As in ReadString: a failure that a larger buffer would not cure ends the read.
    if (required <= kSiteStringStart || required <= size) return std::nullopt;
    size = required;
  }
  return std::nullopt;
}

bool MetabaseSession::WriteData(const char* path, const char* subPath, DWORD identifier, DWORD userType,
                                DWORD dataType, const char* text, DWORD number) {
  if (dataType == STRING_METADATA && !text) return false;
  Cycle cycle;
  auto widePath = toWidePath(path);
  auto wideSub = toWidePath(subPath);
  if (!widePath || !wideSub || !cycle.open(*widePath, kAccessWrite)) return false;
  METADATA_RECORD record{identifier, METADATA_NO_ATTRIBUTES, userType, dataType, 0, nullptr, 0};
  DWORD dword = number;
  // A text longer than a path buffer is written whole: a long filter load order must not
  // be cut or lost.
  platform::text::WideString wideText;
  if (dataType == DWORD_METADATA) {
    record.dwMDDataLen = sizeof(DWORD);
    record.pbMDData = reinterpret_cast<unsigned char*>(&dword);
  } else if (dataType == STRING_METADATA) {
    wideText = platform::text::widen(text);
    record.dwMDDataLen = static_cast<DWORD>(2 * wideText.size() + 2);
    record.pbMDData = reinterpret_cast<unsigned char*>(wideText.data());
  }
  return SUCCEEDED(cycle.base()->SetData(cycle.handle(), wideSub->c_str(), &record));
}

bool MetabaseSession::DeleteKeyOrData(const char* path, const char* subPath, DWORD identifier, DWORD dataType) {
  Cycle cycle;
  auto widePath = toWidePath(path);
  auto wideSub = toWidePath(subPath);
  if (!widePath || !wideSub || !cycle.open(*widePath, kAccessWrite)) return false;
  if (identifier == 0 && dataType == 0) return SUCCEEDED(cycle.base()->DeleteKey(cycle.handle(), wideSub->c_str()));
  return SUCCEEDED(cycle.base()->DeleteData(cycle.handle(), wideSub->c_str(), identifier, dataType));
}

bool MetabaseSession::PathFits(const char* path) { return toWidePath(path).has_value(); }

bool MetabaseSession::CreateKeyPath(const char* path, const char* subPath) {
  if (!subPath || !*subPath) return false;
  Cycle cycle;
  const std::string full = std::string(path ? path : "") + "/" + subPath;
  auto wideFull = toWidePath(full.c_str());
  if (!wideFull) return false;
  // The key exists already: nothing to create, and the caller hears it as a failure.
  if (cycle.open(*wideFull, kAccessReadWrite)) return false;
  // Walk up to the nearest ancestor that opens; the rest may span several missing levels.
  std::size_t cut = full.size();
  while (true) {
    cut = full.rfind('/', cut == 0 ? 0 : cut - 1);
    if (cut == std::string::npos) return false;
    auto ancestor = toWidePath(full.substr(0, cut).c_str());
    if (ancestor && cycle.open(*ancestor, kAccessReadWrite)) break;
    if (cut == 0) return false;
  }
  auto rest = toWidePath(full.substr(cut + 1).c_str());
  return rest && SUCCEEDED(cycle.base()->AddKey(cycle.handle(), rest->c_str()));
}

}  // namespace settings
