#pragma once
// The management console's property-sheet extension interfaces (mmc.h): the console asks an
// extension whether it has pages for a node and lets it add them through a callback.

#include <cstdint>
#include <cstdlib>

#include "platform/com/com.h"
#include "platform/ui/win_user.h"

// The IIS manager's clipboard format for a node's metabase path ("/LM/W3SVC/2"), an ANSI
// text with its NUL.
constexpr const char* CCF_ISM_META_PATH = "ISM_SNAPIN_META_PATH";

#ifdef _WIN32
#include <mmc.h>
// mingw-w64 declares this identifier without a library that defines it.
extern "C" __declspec(selectany) const IID IID_IExtendPropertySheet = {
    0x85DE64DC, 0xEF21, 0x11CF, {0xA2, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xE6}};
#else

constexpr IID IID_IExtendPropertySheet = {0x85DE64DC, 0xEF21, 0x11CF, {0xA2, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xE6}};
constexpr IID IID_IPropertySheetCallback = {0x85DE64DD, 0xEF21, 0x11CF, {0xA2, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xE6}};
constexpr IID IID_IDataObject = {0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// Clipboard formats and the caller-supplied global memory of IDataObject::GetDataHere, as
// far as property-sheet extensions use them. The stand-in's memory is the process heap; a
// registered format's number follows from its name alone (case-insensitive), so every
// module of every process agrees on it, as within one Windows session.
using CLIPFORMAT = WORD;
using HGLOBAL = void*;
constexpr UINT GMEM_FIXED = 0;
constexpr DWORD DVASPECT_CONTENT = 1;
constexpr DWORD TYMED_HGLOBAL = 1;
constexpr HRESULT DV_E_FORMATETC = static_cast<HRESULT>(0x80040064);
constexpr HRESULT STG_E_MEDIUMFULL = static_cast<HRESULT>(0x80030070);

struct FORMATETC {
  CLIPFORMAT cfFormat;
  void* ptd;
  DWORD dwAspect;
  LONG lindex;
  DWORD tymed;
};
struct STGMEDIUM {
  DWORD tymed;
  HGLOBAL hGlobal;
  IUnknown* pUnkForRelease;
};

inline CLIPFORMAT RegisterClipboardFormatA(LPCSTR name) {
  if (!name || !*name) return 0;
  std::uint32_t hash = 2166136261u;  // FNV-1a over the lower-cased name
  for (const char* c = name; *c; ++c) {
    const char lower = (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c - 'A' + 'a') : *c;
    hash = (hash ^ static_cast<unsigned char>(lower)) * 16777619u;
  }
  return static_cast<CLIPFORMAT>(0xC000 + hash % 0x4000);  // the range of registered formats
}

// A block that knows its size, as GlobalSize needs.
inline HGLOBAL GlobalAlloc(UINT, std::size_t bytes) {
  auto* block = static_cast<std::size_t*>(std::calloc(1, sizeof(std::size_t) * 2 + bytes));
  if (!block) return nullptr;
  block[0] = bytes;
  return block;
}
inline void* GlobalLock(HGLOBAL memory) { return memory ? static_cast<std::size_t*>(memory) + 2 : nullptr; }
inline BOOL GlobalUnlock(HGLOBAL) { return FALSE; }
inline std::size_t GlobalSize(HGLOBAL memory) { return memory ? static_cast<std::size_t*>(memory)[0] : 0; }
inline HGLOBAL GlobalFree(HGLOBAL memory) {
  std::free(memory);
  return nullptr;
}

// The node the sheet is for. GetDataHere fills the caller's HGLOBAL with the format asked
// for; DV_E_FORMATETC for a format the node does not offer.
struct IDataObject : IUnknown {
  virtual HRESULT GetDataHere(FORMATETC* format, STGMEDIUM* medium) = 0;

 protected:
  ~IDataObject() = default;
};
using LPDATAOBJECT = IDataObject*;

struct IPropertySheetCallback : IUnknown {
  virtual HRESULT AddPage(HPROPSHEETPAGE page) = 0;
  virtual HRESULT RemovePage(HPROPSHEETPAGE page) = 0;

 protected:
  ~IPropertySheetCallback() = default;
};
using LPPROPERTYSHEETCALLBACK = IPropertySheetCallback*;

struct IExtendPropertySheet : IUnknown {
  virtual HRESULT CreatePropertyPages(LPPROPERTYSHEETCALLBACK callback, LONG_PTR handle, LPDATAOBJECT dataObject) = 0;
  virtual HRESULT QueryPagesFor(LPDATAOBJECT dataObject) = 0;

 protected:
  ~IExtendPropertySheet() = default;
};

#endif  // _WIN32
