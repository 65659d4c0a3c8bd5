#pragma once
// The management console's property-sheet extension interfaces (mmc.h): the console asks an
// extension whether it has pages for a node and lets it add them through a callback.

#include "platform/com/com.h"
#include "platform/ui/win_user.h"

constexpr IID IID_IExtendPropertySheet = {0x85DE64DC, 0xEF21, 0x11CF, {0xA2, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xE6}};
constexpr IID IID_IPropertySheetCallback = {0x85DE64DD, 0xEF21, 0x11CF, {0xA2, 0x85, 0x00, 0xC0, 0x4F, 0xD8, 0xDB, 0xE6}};
constexpr IID IID_IDataObject = {0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The node the sheet is for; extensions may ask it for clipboard formats (ours do not).
struct IDataObject : IUnknown {
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
