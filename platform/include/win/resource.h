// Resources: finding the program's resources (dialog templates, menus, icons, bitmaps) and
// the icon and bitmap objects made from them. Implemented in platform/resources over the
// resource table that the build compiles from resources/quillbrook.rc.
//
// Every resource belongs to the one program: the module handle is not consulted, and NULL
// names the program as well as its instance handle does. Resources are named by integer
// id (MAKEINTRESOURCEW(id), or the text "#id").
#pragma once

#include "kernel.h"
#include "types.h"

// ---- Resource types ---------------------------------------------------------------------
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)

// ---- Languages --------------------------------------------------------------------------
#ifndef MAKELANGID
#define MAKELANGID(p, s) ((((WORD)(s)) << 10) | (WORD)(p))
#endif
#ifndef PRIMARYLANGID
#define PRIMARYLANGID(lgid) ((WORD)(lgid)&0x3ff)
#endif
#ifndef SUBLANGID
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#endif
#ifndef LANG_NEUTRAL
#define LANG_NEUTRAL 0x00
#endif
#ifndef LANG_ENGLISH
#define LANG_ENGLISH 0x09
#endif
#ifndef LANG_JAPANESE
#define LANG_JAPANESE 0x11
#endif
#ifndef SUBLANG_NEUTRAL
#define SUBLANG_NEUTRAL 0x00
#endif
#ifndef SUBLANG_DEFAULT
#define SUBLANG_DEFAULT 0x01
#endif
#ifndef SUBLANG_SYS_DEFAULT
#define SUBLANG_SYS_DEFAULT 0x02
#endif
#ifndef SUBLANG_ENGLISH_US
#define SUBLANG_ENGLISH_US 0x01
#endif
#ifndef SUBLANG_JAPANESE_JAPAN
#define SUBLANG_JAPANESE_JAPAN 0x01
#endif

// Resource look-up failures, as GetLastError reports them.
#ifndef ERROR_RESOURCE_DATA_NOT_FOUND
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#endif
#ifndef ERROR_RESOURCE_TYPE_NOT_FOUND
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#endif
#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif
#ifndef ERROR_RESOURCE_LANG_NOT_FOUND
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
#endif

// The resource of that type and id in the system language (GetSystemDefaultLangID): the
// same language, else the same primary language, else language-neutral, else English,
// else any. NULL with ERROR_RESOURCE_TYPE_NOT_FOUND or ERROR_RESOURCE_NAME_NOT_FOUND.
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
// Exactly that language; LANG_NEUTRAL/SUBLANG_NEUTRAL (0) chooses as FindResourceW does.
HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
// The resource's bytes live as long as the process; loading copies nothing and freeing
// does nothing, as for resources of a loaded module on Windows.
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
BOOL WINAPI FreeResource(HGLOBAL hResData);

// ---- Icons and bitmaps ------------------------------------------------------------------
typedef void* HGDIOBJ;

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define IMAGE_CURSOR 2

#define LR_DEFAULTCOLOR 0x00000000
#define LR_MONOCHROME 0x00000001
#define LR_COLOR 0x00000002
#define LR_LOADFROMFILE 0x00000010
#define LR_LOADTRANSPARENT 0x00000020
#define LR_DEFAULTSIZE 0x00000040
#define LR_VGACOLOR 0x00000080
#define LR_LOADMAP3DCOLORS 0x00001000
#define LR_CREATEDIBSECTION 0x00002000
#define LR_SHARED 0x00008000

// IMAGE_ICON: the image of the icon group closest to cx by cy, scaled to that size (0 and
// LR_DEFAULTSIZE: 32 by 32; 0 without it: the first image's own size). IMAGE_BITMAP: the
// bitmap at its own size (cx and cy are not used for scaling bitmaps). LR_SHARED gives
// the same handle to every caller, which DestroyIcon and DeleteObject then leave alone.
// LR_LOADFROMFILE is not supported. NULL with the last error set on failure.
HANDLE WINAPI LoadImageW(HINSTANCE hInst, LPCWSTR name, UINT type, int cx, int cy, UINT fuLoad);
// The shared 32 by 32 icon.
HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName);
HBITMAP WINAPI LoadBitmapW(HINSTANCE hInstance, LPCWSTR lpBitmapName);
BOOL WINAPI DestroyIcon(HICON hIcon);
// Bitmaps are the only drawing objects this layer makes; other handles give FALSE.
BOOL WINAPI DeleteObject(HGDIOBJ ho);
