// Common controls: registration, the progress bar and the tree view. Image lists are in
// win/imagelist.h.
#pragma once

#include "win/imagelist.h"
#include "windows.h"

typedef struct tagINITCOMMONCONTROLSEX {
    DWORD dwSize;
    DWORD dwICC;
} INITCOMMONCONTROLSEX, *LPINITCOMMONCONTROLSEX;

#define ICC_LISTVIEW_CLASSES 0x00000001
#define ICC_TREEVIEW_CLASSES 0x00000002
#define ICC_BAR_CLASSES 0x00000004
#define ICC_TAB_CLASSES 0x00000008
#define ICC_UPDOWN_CLASS 0x00000010
#define ICC_PROGRESS_CLASS 0x00000020
#define ICC_STANDARD_CLASSES 0x00004000
// The classes are always there; the call checks its record and reports success.
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* picce);
void WINAPI InitCommonControls(void);

// ---- Notification codes -------------------------------------------------------------------
#define NM_FIRST (0U - 0U)
#define NM_CLICK (NM_FIRST - 2)
#define NM_DBLCLK (NM_FIRST - 3)
#define NM_RETURN (NM_FIRST - 4)
#define NM_SETFOCUS (NM_FIRST - 7)
#define NM_KILLFOCUS (NM_FIRST - 8)
#define TVN_FIRST (0U - 400U)

// ---- Progress bar ---------------------------------------------------------------------------
#define PROGRESS_CLASSW u"msctls_progress32"
#define PROGRESS_CLASS PROGRESS_CLASSW
#define PBS_SMOOTH 0x01
#define PBS_VERTICAL 0x04
#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETSTEP (WM_USER + 4)
#define PBM_STEPIT (WM_USER + 5)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)

typedef struct {
    int iLow;
    int iHigh;
} PBRANGE, *PPBRANGE;

// ---- Tree view ------------------------------------------------------------------------------
#define WC_TREEVIEWW u"SysTreeView32"
#define WC_TREEVIEW WC_TREEVIEWW

struct _TREEITEM;
typedef struct _TREEITEM* HTREEITEM;

#define TVS_HASBUTTONS 0x0001
#define TVS_HASLINES 0x0002
#define TVS_LINESATROOT 0x0004
#define TVS_EDITLABELS 0x0008
#define TVS_DISABLEDRAGDROP 0x0010
#define TVS_SHOWSELALWAYS 0x0020

#define TVIF_TEXT 0x0001
#define TVIF_IMAGE 0x0002
#define TVIF_PARAM 0x0004
#define TVIF_STATE 0x0008
#define TVIF_HANDLE 0x0010
#define TVIF_SELECTEDIMAGE 0x0020
#define TVIF_CHILDREN 0x0040

#define TVIS_SELECTED 0x0002
#define TVIS_CUT 0x0004 // drawn dimmed
#define TVIS_BOLD 0x0010
#define TVIS_EXPANDED 0x0020
#define TVIS_EXPANDEDONCE 0x0040

#define I_CHILDRENCALLBACK (-1)
#define LPSTR_TEXTCALLBACKW ((LPWSTR)(LONG_PTR)-1)
#define I_IMAGECALLBACK (-1)

typedef struct tagTVITEMW {
    UINT mask;
    HTREEITEM hItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    LPARAM lParam;
} TVITEMW, *LPTVITEMW;
typedef TVITEMW TVITEM;
typedef LPTVITEMW LPTVITEM;

typedef struct tagTVITEMEXW {
    UINT mask;
    HTREEITEM hItem;
    UINT state;
    UINT stateMask;
    LPWSTR pszText;
    int cchTextMax;
    int iImage;
    int iSelectedImage;
    int cChildren;
    LPARAM lParam;
    int iIntegral;
} TVITEMEXW, *LPTVITEMEXW;
typedef TVITEMEXW TVITEMEX;

#define TVI_ROOT ((HTREEITEM)(ULONG_PTR)-0x10000)
#define TVI_FIRST ((HTREEITEM)(ULONG_PTR)-0x0FFFF)
#define TVI_LAST ((HTREEITEM)(ULONG_PTR)-0x0FFFE)
#define TVI_SORT ((HTREEITEM)(ULONG_PTR)-0x0FFFD)

typedef struct tagTVINSERTSTRUCTW {
    HTREEITEM hParent;
    HTREEITEM hInsertAfter;
    union {
        TVITEMEXW itemex;
        TVITEMW item;
    };
} TVINSERTSTRUCTW, *LPTVINSERTSTRUCTW;
typedef TVINSERTSTRUCTW TVINSERTSTRUCT;
typedef LPTVINSERTSTRUCTW LPTVINSERTSTRUCT;

#define TV_FIRST 0x1100
#define TVM_INSERTITEMW (TV_FIRST + 50)
#define TVM_DELETEITEM (TV_FIRST + 1)
#define TVM_EXPAND (TV_FIRST + 2)
#define TVM_GETCOUNT (TV_FIRST + 5)
#define TVM_GETINDENT (TV_FIRST + 6)
#define TVM_GETIMAGELIST (TV_FIRST + 8)
#define TVM_SETIMAGELIST (TV_FIRST + 9)
#define TVM_GETNEXTITEM (TV_FIRST + 10)
#define TVM_SELECTITEM (TV_FIRST + 11)
#define TVM_GETITEMW (TV_FIRST + 62)
#define TVM_SETITEMW (TV_FIRST + 63)
#define TVM_GETVISIBLECOUNT (TV_FIRST + 16)
#define TVM_ENSUREVISIBLE (TV_FIRST + 20)
#define TVM_SORTCHILDREN (TV_FIRST + 19)
#define TVM_INSERTITEM TVM_INSERTITEMW
#define TVM_GETITEM TVM_GETITEMW
#define TVM_SETITEM TVM_SETITEMW

#define TVE_COLLAPSE 0x0001
#define TVE_EXPAND 0x0002
#define TVE_TOGGLE 0x0003
#define TVE_COLLAPSERESET 0x8000

#define TVSIL_NORMAL 0
#define TVSIL_STATE 2

#define TVGN_ROOT 0x0000
#define TVGN_NEXT 0x0001
#define TVGN_PREVIOUS 0x0002
#define TVGN_PARENT 0x0003
#define TVGN_CHILD 0x0004
#define TVGN_FIRSTVISIBLE 0x0005
#define TVGN_NEXTVISIBLE 0x0006
#define TVGN_PREVIOUSVISIBLE 0x0007
#define TVGN_DROPHILITE 0x0008
#define TVGN_CARET 0x0009
#define TVGN_LASTVISIBLE 0x000A

#define TVC_UNKNOWN 0x0000
#define TVC_BYMOUSE 0x0001
#define TVC_BYKEYBOARD 0x0002

typedef struct tagNMTREEVIEWW {
    NMHDR hdr;
    UINT action;
    TVITEMW itemOld;
    TVITEMW itemNew;
    POINT ptDrag;
} NMTREEVIEWW, *LPNMTREEVIEWW;
typedef NMTREEVIEWW NMTREEVIEW;
typedef LPNMTREEVIEWW LPNMTREEVIEW;

typedef struct tagTVDISPINFOW {
    NMHDR hdr;
    TVITEMW item;
} NMTVDISPINFOW, *LPNMTVDISPINFOW;
typedef NMTVDISPINFOW NMTVDISPINFO;

#define TVN_SELCHANGINGW (TVN_FIRST - 50)
#define TVN_SELCHANGEDW (TVN_FIRST - 51)
#define TVN_GETDISPINFOW (TVN_FIRST - 52)
#define TVN_ITEMEXPANDINGW (TVN_FIRST - 54)
#define TVN_ITEMEXPANDEDW (TVN_FIRST - 55)
#define TVN_DELETEITEMW (TVN_FIRST - 58)
#define TVN_KEYDOWN (TVN_FIRST - 12)
#define TVN_SELCHANGING TVN_SELCHANGINGW
#define TVN_SELCHANGED TVN_SELCHANGEDW
#define TVN_GETDISPINFO TVN_GETDISPINFOW
#define TVN_ITEMEXPANDING TVN_ITEMEXPANDINGW
#define TVN_ITEMEXPANDED TVN_ITEMEXPANDEDW
#define TVN_DELETEITEM TVN_DELETEITEMW

// The TreeView_ helpers, as inline functions (their results may be ignored).
inline HTREEITEM TreeView_InsertItem(HWND hwnd, const TVINSERTSTRUCTW* lpis) {
    return (HTREEITEM)SendMessageW(hwnd, TVM_INSERTITEMW, 0, (LPARAM)lpis);
}
inline BOOL TreeView_DeleteItem(HWND hwnd, HTREEITEM hitem) {
    return (BOOL)SendMessageW(hwnd, TVM_DELETEITEM, 0, (LPARAM)hitem);
}
inline BOOL TreeView_DeleteAllItems(HWND hwnd) {
    return (BOOL)SendMessageW(hwnd, TVM_DELETEITEM, 0, (LPARAM)TVI_ROOT);
}
inline BOOL TreeView_Expand(HWND hwnd, HTREEITEM hitem, UINT code) {
    return (BOOL)SendMessageW(hwnd, TVM_EXPAND, (WPARAM)code, (LPARAM)hitem);
}
inline HTREEITEM TreeView_GetNextItem(HWND hwnd, HTREEITEM hitem, UINT code) {
    return (HTREEITEM)SendMessageW(hwnd, TVM_GETNEXTITEM, (WPARAM)code, (LPARAM)hitem);
}
inline HTREEITEM TreeView_GetChild(HWND hwnd, HTREEITEM hitem) {
    return TreeView_GetNextItem(hwnd, hitem, TVGN_CHILD);
}
inline HTREEITEM TreeView_GetNextSibling(HWND hwnd, HTREEITEM hitem) {
    return TreeView_GetNextItem(hwnd, hitem, TVGN_NEXT);
}
inline HTREEITEM TreeView_GetParent(HWND hwnd, HTREEITEM hitem) {
    return TreeView_GetNextItem(hwnd, hitem, TVGN_PARENT);
}
inline HTREEITEM TreeView_GetSelection(HWND hwnd) {
    return TreeView_GetNextItem(hwnd, NULL, TVGN_CARET);
}
inline HTREEITEM TreeView_GetRoot(HWND hwnd) {
    return TreeView_GetNextItem(hwnd, NULL, TVGN_ROOT);
}
inline BOOL TreeView_Select(HWND hwnd, HTREEITEM hitem, UINT code) {
    return (BOOL)SendMessageW(hwnd, TVM_SELECTITEM, (WPARAM)code, (LPARAM)hitem);
}
inline BOOL TreeView_SelectItem(HWND hwnd, HTREEITEM hitem) {
    return TreeView_Select(hwnd, hitem, TVGN_CARET);
}
inline BOOL TreeView_GetItem(HWND hwnd, TVITEMW* pitem) {
    return (BOOL)SendMessageW(hwnd, TVM_GETITEMW, 0, (LPARAM)pitem);
}
inline BOOL TreeView_SetItem(HWND hwnd, const TVITEMW* pitem) {
    return (BOOL)SendMessageW(hwnd, TVM_SETITEMW, 0, (LPARAM)pitem);
}
inline HIMAGELIST TreeView_SetImageList(HWND hwnd, HIMAGELIST himl, int iImage) {
    return (HIMAGELIST)SendMessageW(hwnd, TVM_SETIMAGELIST, (WPARAM)iImage, (LPARAM)himl);
}
inline UINT TreeView_GetCount(HWND hwnd) {
    return (UINT)SendMessageW(hwnd, TVM_GETCOUNT, 0, 0);
}
inline BOOL TreeView_EnsureVisible(HWND hwnd, HTREEITEM hitem) {
    return (BOOL)SendMessageW(hwnd, TVM_ENSUREVISIBLE, 0, (LPARAM)hitem);
}
