#include "console/main_page.h"

#include "console/dialog_support.h"
#include "console/preference_dialogs.h"
#include "console/property_sheet_extension.h"
#include "console/reload_request.h"
#include "console/resources/resource_ids.h"
#include "console/rule_editors.h"
#include "console/site_lookup.h"
#include "console/site_store.h"
#include "platform/ui/common_dialogs.h"
#include "platform/metabase/admin_base.h"
#include "platform/registry/unique_key.h"
#include "settings/metabase_session.h"
#include "settings/registry_layout.h"

namespace console {

namespace {

using settings::MetabaseSession;

constexpr int kGroupButtons[] = {res::kCacheButton, res::kReportingButton, res::kOptCompressButton, res::kExcludeButton,
                                 res::kAdvancedButton};

void enableGroups(HWND page, bool enabled) {
  for (int id = res::kFirstGroupControl; id <= res::kLastGroupControl; ++id)
    if (GetDlgItem(page, id)) enableItem(page, id, enabled);
  for (int id : kGroupButtons) enableItem(page, id, enabled);
}

void markChanged(HWND page, PropertySheetExtension& extension) {
  extension.changed = true;
  PropSheet_Changed(GetParent(page), page);
}

std::optional<std::string> readGlobalText(HKEY global, const char* name) {
  char buffer[512] = {};
  DWORD size = sizeof(buffer) - 1;
  if (RegQueryValueExA(global, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size) != ERROR_SUCCESS)
    return std::nullopt;
  return std::string(buffer);
}

// "address:port:host": the address before the first colon, the host after the second.
void takeBinding(PropertySheetExtension& extension) {
  const auto bindings =
      MetabaseSession::ReadSiteString(static_cast<DWORD>(extension.site), MD_SERVER_BINDINGS, IIS_MD_UT_SERVER, nullptr);
  extension.boundAddress.clear();
  extension.boundPort.reset();
  extension.hostName.reset();
  if (!bindings) return;
  const std::string& binding = *bindings;
  const auto first = binding.find(':');
  extension.boundAddress = binding.substr(0, first);
  if (first == std::string::npos) return;
  const auto second = binding.find(':', first + 1);
  const std::string port = binding.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
  if (!port.empty() && port.find_first_not_of("0123456789") == std::string::npos && port.size() <= 5) {
    const long number = std::stol(port);
    if (number > 0 && number < 65536) extension.boundPort = static_cast<std::uint16_t>(number);
  }
  if (second != std::string::npos) extension.hostName = binding.substr(second + 1);
}

void loadPage(HWND page, PropertySheetExtension& extension) {
  UniqueKey global;
  const bool haveGlobal =
      RegOpenKeyExA(HKEY_LOCAL_MACHINE, settings::kGlobalKeyPath, 0, KEY_READ, global.put()) == ERROR_SUCCESS;
  if (haveGlobal) extension.installFolder = readGlobalText(global.get(), settings::kProgFilesValue).value_or("");
  // The node's own site when it tells it: a title names two sites of the same description.
  extension.site = extension.nodeSite ? *extension.nodeSite : FindSiteByTitle(page);
  if (extension.site < 0) return;
  takeBinding(extension);
  if (!haveGlobal) {
    extension.site = -1;
    return;
  }
  const auto root = MetabaseSession::ReadSiteString(static_cast<DWORD>(extension.site), MD_VR_PATH, IIS_MD_UT_FILE, "Root");
  const std::string home = root.value_or("").substr(0, settings::kRootPathBytes);
  switch (loadWorkingCopy(extension.site, home, extension.copy)) {
    case LoadOutcome::kFailed:
      extension.site = -1;
      return;
    case LoadOutcome::kLoaded:
    case LoadOutcome::kCreated:
      break;
  }
  const bool disabled = extension.copy.Disabled.value != 0;
  CheckRadioButton(page, res::kEnableRadio, res::kDisableRadio, disabled ? res::kDisableRadio : res::kEnableRadio);
  extension.changed = false;
}

void apply(HWND page, PropertySheetExtension& extension) {
  if (extension.site < 0) return;
  const bool wasChanged = extension.changed;
  extension.changed = false;
  applyWorkingCopy(extension.site, extension.copy);
  if (wasChanged) SendReloadRequest(page, extension);
}

void command(HWND page, PropertySheetExtension& extension, int id) {
  const LPARAM data = reinterpret_cast<LPARAM>(&extension);
  auto runAndMark = [&](int templateId, DLGPROC proc) {
    if (runDialog(templateId, page, proc, data)) markChanged(page, extension);
  };
  switch (id) {
    case res::kEnableRadio:
      extension.copy.Disabled.set(0);
      enableGroups(page, true);
      markChanged(page, extension);
      break;
    case res::kDisableRadio:
      extension.copy.Disabled.set(1);
      enableGroups(page, false);
      markChanged(page, extension);
      break;
    case res::kCacheButton:
      runAndMark(res::kCachingDialog, CachingDialogProc);
      break;
    case res::kReportingButton:
      runAndMark(res::kReportingDialog, ReportingDialogProc);
      break;
    case res::kOptCompressButton:
      runAndMark(res::kOptionalDialog, OptionalCompressionDialogProc);
      break;
    case res::kExcludeButton:
      runAndMark(res::kExclusionDialog, ExclusionDialogProc);
      break;
    case res::kAdvancedButton:
      extension.advancedEdits = false;
      if (runDialog(res::kAdvancedDialog, page, AdvancedDialogProc, data) || extension.advancedEdits)
        markChanged(page, extension);
      break;
    case res::kHelpButton:
      // The stored folder text ends with a backslash; nothing is put between.
      ShellExecuteA(page, "open", (extension.installFolder + "tamsic.hlp").c_str(), nullptr, nullptr, SW_SHOWNORMAL);
      break;
    default:
      break;
  }
}

}  // namespace

INT_PTR CALLBACK MainPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* extension = dialogData<PropertySheetExtension>(page);
  switch (message) {
    case WM_INITDIALOG: {
      const auto* record = reinterpret_cast<const PROPSHEETPAGEA*>(lParam);
      extension = reinterpret_cast<PropertySheetExtension*>(record->lParam);
      keepDialogData(page, reinterpret_cast<LPARAM>(extension));
      // The page keeps the object alive for as long as it shows.
      extension->AddRef();
      extension->pageWindow = page;
      loadPage(page, *extension);
      return TRUE;
    }
    case WM_DESTROY:
      if (extension) {
        keepDialogData(page, 0);
        extension->pageWindow = nullptr;
        extension->Release();
      }
      return TRUE;
    case WM_LBUTTONDOWN:
      SetActiveWindow(GetParent(page));
      return TRUE;
    case WM_COMMAND:
      if (extension && extension->site >= 0 && HIWORD(wParam) == BN_CLICKED) command(page, *extension, LOWORD(wParam));
      return TRUE;
    case WM_NOTIFY: {
      const auto* header = reinterpret_cast<const NMHDR*>(lParam);
      if (extension && header->code == PSN_APPLY) {
        apply(page, *extension);
        SetWindowLongPtrA(page, DWLP_MSGRESULT, PSNRET_NOERROR);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

}  // namespace console
