// The folder browser: a modal tree of the device's folders below the root "\", filled on
// demand. A folder's children are read when it is first expanded (TVN_ITEMEXPANDING) or
// selected, and at opening only the folders on the way to the caller's initial folder and
// that folder itself are read, so opening costs one search per level of that folder instead
// of one per folder of the device.
//
// Every folder item is inserted with an expander; reading it finds out whether it really has
// children, and one without loses its expander. A folder that can't be read (no permission, a
// system folder that refuses listing) has none and is drawn dimmed. "\My Documents" comes first
// below the root, wherever the host keeps it, so that the usual target is always in the tree.
// Folders reached through links are shown and read like any other folder: nothing is read without
// an expansion by the person (or the walk to the initial folder, which is as long as that text), so
// a link that loops back only grows the tree one expansion at a time, and no path beyond
// kBrowserPathCapacity is ever built.
#include "ui/FolderBrowser.h"

#include <commctrl.h>

#include "base/StringUtil.h"
#include "core/Language.h"
#include "resources/resource.h"
#include "storage/FileSystem.h"
#include "ui/DialogTemplate.h"

namespace {

constexpr DWORD kBrowserPathCapacity = 4096; // units of a folder's path, terminator included
constexpr int kFolderImageWidth = 16;
constexpr COLORREF kFolderImageTransparent = RGB(255, 0, 0);
constexpr int kImageItem = 0;
constexpr int kImageSelected = 1;
constexpr WCHAR kSeparator = u'\\';
constexpr WCHAR kRootText[] = TEXT("\\");
constexpr WCHAR kAllEntries[] = TEXT("\\*");
constexpr WCHAR kMyDocuments[] = TEXT("My Documents");
// Item value: whether the folder's children have been read.
constexpr LPARAM kChildrenUnread = 0;
constexpr LPARAM kChildrenRead = 1;

constexpr INT_PTR kBrowserOk = 1;
constexpr INT_PTR kBrowserCancel = 0;
constexpr int kNullBuffer = -1;

// The caller's request and the dialog's own state, alive for one OpenFolderBrowser call.
struct BrowserState {
    HINSTANCE instance = nullptr;
    WCHAR* buffer = nullptr; // the caller's: read at opening, written only on OK
    DWORD capacity = 0;
    HWND tree = nullptr;
    HIMAGELIST images = nullptr;
};

BrowserState* StateOf(HWND dialog) {
    return reinterpret_cast<BrowserState*>(GetWindowLongPtrW(dialog, DWLP_USER));
}

// The text of item into text (kBrowserPathCapacity units). false when the tree has none.
bool ItemText(HWND tree, HTREEITEM item, WCHAR* text) {
    text[0] = 0;
    TVITEMW info{};
    info.mask = TVIF_TEXT;
    info.hItem = item;
    info.pszText = text;
    info.cchTextMax = static_cast<int>(kBrowserPathCapacity);
    return TreeView_GetItem(tree, &info) != FALSE;
}

// The path of item: "\" and the text of every item below the root, from the top down; the
// root gives the empty text. 1; 0 when the path does not fit in capacity (path then empty).
int PathOfItem(HWND tree, HTREEITEM item, WCHAR* path, DWORD capacity) {
    path[0] = 0;
    WCHAR reversed[kBrowserPathCapacity];
    DWORD used = 0; // units in reversed: the components back to front, each reversed
    for (HTREEITEM parent = TreeView_GetParent(tree, item); item != nullptr && parent != nullptr;
         item = parent, parent = TreeView_GetParent(tree, item)) {
        WCHAR name[kBrowserPathCapacity];
        if (!ItemText(tree, item, name)) return 0;
        DWORD length = 0;
        StrLength(name, &length);
        if (used + length + 1 >= capacity || used + length + 1 >= kBrowserPathCapacity) return 0;
        for (DWORD i = length; i > 0; --i) reversed[used++] = name[i - 1];
        reversed[used++] = kSeparator;
    }
    for (DWORD i = 0; i < used; ++i) path[i] = reversed[used - 1 - i];
    path[used] = 0;
    return 1;
}

HTREEITEM InsertFolder(HWND tree, HTREEITEM parent, LPCWSTR name,
                       HTREEITEM insertAfter = TVI_SORT) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = insertAfter;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_CHILDREN | TVIF_PARAM;
    insert.item.pszText = const_cast<LPWSTR>(name);
    insert.item.iImage = kImageItem;
    insert.item.iSelectedImage = kImageSelected;
    insert.item.cChildren = 1; // known only once read
    insert.item.lParam = kChildrenUnread;
    return TreeView_InsertItem(tree, &insert);
}

void MarkRead(HWND tree, HTREEITEM item, bool hasChildren, bool readable) {
    TVITEMW info{};
    info.mask = TVIF_PARAM | TVIF_CHILDREN | TVIF_STATE;
    info.hItem = item;
    info.lParam = kChildrenRead;
    info.cChildren = hasChildren ? 1 : 0;
    info.stateMask = TVIS_CUT;
    info.state = readable ? 0 : TVIS_CUT;
    TreeView_SetItem(tree, &info);
}

bool ChildrenRead(HWND tree, HTREEITEM item) {
    TVITEMW info{};
    info.mask = TVIF_PARAM;
    info.hItem = item;
    return TreeView_GetItem(tree, &info) && info.lParam == kChildrenRead;
}

bool IsDotEntry(LPCWSTR name) {
    return StrEqual(name, TEXT(".")) == 1 || StrEqual(name, TEXT("..")) == 1;
}

// Inserts the sub-folders of item (whose path is given) as its children, once. Below the
// root, "My Documents" is left to the caller, which puts it first.
void ReadChildren(HWND tree, HTREEITEM item) {
    if (ChildrenRead(tree, item)) return;
    const bool root = TreeView_GetParent(tree, item) == nullptr;
    WCHAR path[kBrowserPathCapacity];
    bool hasChildren = false;
    bool readable = true;
    if (PathOfItem(tree, item, path, kBrowserPathCapacity) == 1 &&
        StrAppend(path, kBrowserPathCapacity, kAllEntries) == 1) {
        DWORD baseLength = 0;
        StrLength(path, &baseLength);
        baseLength -= 1; // the path with its trailing "\": room left for a child's name
        FileSystem files;
        FileSearch* search = nullptr;
        if (files.OpenSearch(&search, path) == 1) {
            FileSearchEntry entry{};
            while (files.NextEntry(search, &entry) == 1) {
                if (entry.kind != kEntryDirectory || IsDotEntry(entry.name)) continue;
                if (root && StrEqual(entry.name, kMyDocuments) == 1) continue;
                DWORD nameLength = 0;
                StrLength(entry.name, &nameLength);
                // A child whose own path (and its "\*") would not fit can't be read or chosen.
                if (baseLength + nameLength + 3 > kBrowserPathCapacity) continue;
                if (InsertFolder(tree, item, entry.name) != nullptr) hasChildren = true;
            }
            files.CloseSearch(search);
        } else {
            // An empty folder matches nothing; any other failure means it can't be read.
            readable = GetLastError() == ERROR_FILE_NOT_FOUND;
        }
    }
    MarkRead(tree, item, hasChildren, readable);
}

HTREEITEM FindChild(HWND tree, HTREEITEM parent, const WCHAR* name) {
    for (HTREEITEM child = TreeView_GetChild(tree, parent); child != nullptr;
         child = TreeView_GetNextSibling(tree, child)) {
        WCHAR text[kBrowserPathCapacity];
        if (ItemText(tree, child, text) && StrEqual(text, name) == 1) return child;
    }
    return nullptr;
}

// Walks the initial text "\A\B..." down from the root, reading each folder on the way; the
// folder it names exactly (case included) is returned, else null.
HTREEITEM FindInitialFolder(HWND tree, HTREEITEM root, const WCHAR* initial) {
    HTREEITEM item = root;
    DWORD position = 0;
    while (initial[position] == kSeparator) {
        WCHAR name[kBrowserPathCapacity];
        DWORD length = 0;
        ++position;
        while (initial[position] != 0 && initial[position] != kSeparator &&
               length + 1 < kBrowserPathCapacity)
            name[length++] = initial[position++];
        name[length] = 0;
        if (length == 0) return nullptr;
        ReadChildren(tree, item);
        item = FindChild(tree, item, name);
        if (item == nullptr) return nullptr;
        if (initial[position] == 0) return item;
    }
    return nullptr;
}

// The caller's text, cut to its capacity when it is not terminated inside it.
void ReadInitialText(const BrowserState* state, WCHAR* initial) {
    DWORD i = 0;
    for (; i < state->capacity && i + 1 < kBrowserPathCapacity && state->buffer[i] != 0; ++i)
        initial[i] = state->buffer[i];
    initial[i] = 0;
}

void OnInitDialog(HWND dialog, BrowserState* state) {
    SetWindowLongPtrW(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(state));
    state->tree = GetDlgItem(dialog, IDC_BROWSER_TREE);
    state->images =
        ImageList_LoadImageW(state->instance, MAKEINTRESOURCEW(IDB_FOLDERS), kFolderImageWidth, 0,
                             kFolderImageTransparent, IMAGE_BITMAP, 0);
    if (state->images == nullptr || state->tree == nullptr) {
        EndDialog(dialog, kBrowserCancel);
        return;
    }
    TreeView_SetImageList(state->tree, state->images, TVSIL_NORMAL);
    WCHAR initial[kBrowserPathCapacity];
    ReadInitialText(state, initial);
    SetDlgItemTextW(dialog, IDC_BROWSER_PATH, initial);

    HTREEITEM root = InsertFolder(state->tree, TVI_ROOT, kRootText);
    if (root != nullptr) {
        TreeView_SelectItem(state->tree, root);
        ReadChildren(state->tree, root);
        if (InsertFolder(state->tree, root, kMyDocuments, TVI_FIRST) != nullptr) {
            TVITEMW info{};
            info.mask = TVIF_CHILDREN;
            info.hItem = root;
            info.cChildren = 1;
            TreeView_SetItem(state->tree, &info);
        }
        TreeView_Expand(state->tree, root, TVE_EXPAND);
        HTREEITEM chosen = FindInitialFolder(state->tree, root, initial);
        // Selecting shows the item: the tree opens its parents, already read above.
        if (chosen != nullptr) TreeView_SelectItem(state->tree, chosen);
    }
    LPCWSTR title = ByLanguage(TEXT("フォルダを開く"), TEXT("Open Folder"));
    SetWindowTextW(dialog, title);
    SetDlgItemTextW(dialog, IDC_BROWSER_TITLE, title);
}

// OK: the field's path into the caller's buffer, only when it fits whole.
INT_PTR CopyChosenPath(HWND dialog, const BrowserState* state) {
    WCHAR path[kBrowserPathCapacity + 1] = {};
    GetDlgItemTextW(dialog, IDC_BROWSER_PATH, path, kBrowserPathCapacity + 1);
    DWORD length = 0;
    StrLength(path, &length);
    if (length + 1 > state->capacity || length + 1 > kBrowserPathCapacity) return kBrowserCancel;
    StrCopy(state->buffer, state->capacity, path);
    return kBrowserOk;
}

void OnNotify(HWND dialog, const NMHDR* header) {
    BrowserState* state = StateOf(dialog);
    if (state == nullptr || header == nullptr || header->hwndFrom != state->tree) return;
    const auto* change = reinterpret_cast<const NMTREEVIEWW*>(header);
    if (header->code == TVN_ITEMEXPANDINGW && change->action == TVE_EXPAND) {
        ReadChildren(state->tree, change->itemNew.hItem);
    } else if (header->code == TVN_SELCHANGEDW) {
        // The folder looked at is read, so its expander says whether it has sub-folders.
        ReadChildren(state->tree, change->itemNew.hItem);
        WCHAR path[kBrowserPathCapacity];
        if (PathOfItem(state->tree, change->itemNew.hItem, path, kBrowserPathCapacity) == 1)
            SetDlgItemTextW(dialog, IDC_BROWSER_PATH, path);
    }
}

INT_PTR CALLBACK FolderBrowserProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog, reinterpret_cast<BrowserState*>(lParam));
        return TRUE;
    case WM_NOTIFY:
        OnNotify(dialog, reinterpret_cast<const NMHDR*>(lParam));
        return FALSE; // never refuses an expansion
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            BrowserState* state = StateOf(dialog);
            EndDialog(dialog, state != nullptr ? CopyChosenPath(dialog, state) : kBrowserCancel);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, kBrowserCancel);
            return TRUE;
        }
        return FALSE;
    default:
        return FALSE;
    }
}

} // namespace

int OpenFolderBrowser(HINSTANCE instance, HWND parent, WCHAR* buffer, DWORD capacity) {
    if (buffer == nullptr) return kNullBuffer;
    BrowserState state;
    state.instance = instance;
    state.buffer = buffer;
    state.capacity = capacity;
    const INT_PTR result = RunDialogTemplate(instance, IDD_FOLDER_BROWSER, parent,
                                             FolderBrowserProc, reinterpret_cast<LPARAM>(&state));
    if (state.images != nullptr) ImageList_Destroy(state.images);
    return result == kBrowserOk ? static_cast<int>(kBrowserOk) : static_cast<int>(kBrowserCancel);
}
