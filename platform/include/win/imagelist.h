// Image lists: a row of equally sized images with an optional transparent colour, as the
// tree view shows beside its items. Implemented in platform/resources.
#pragma once

#include "resource.h"
#include "types.h"

struct _IMAGELIST;
typedef struct _IMAGELIST* HIMAGELIST;

#define ILC_MASK 0x00000001
#define ILC_COLOR 0x00000000
#define ILC_COLORDDB 0x000000FE
#define ILC_COLOR4 0x00000004
#define ILC_COLOR8 0x00000008
#define ILC_COLOR16 0x00000010
#define ILC_COLOR24 0x00000018
#define ILC_COLOR32 0x00000020

#define CLR_NONE 0xFFFFFFFFL
#define CLR_DEFAULT 0xFF000000L

#ifndef RGB
#define RGB(r, g, b)                                                                               \
    ((COLORREF)(((BYTE)(r) | ((WORD)((BYTE)(g)) << 8)) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(rgb) ((BYTE)(rgb))
#define GetGValue(rgb) ((BYTE)(((WORD)(rgb)) >> 8))
#define GetBValue(rgb) ((BYTE)((rgb) >> 16))
#endif

// NULL when cx or cy is not positive.
HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int cInitial, int cGrow);
BOOL WINAPI ImageList_Destroy(HIMAGELIST himl);
// -1 for a handle that is not an image list.
int WINAPI ImageList_GetImageCount(HIMAGELIST himl);
BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy);
// Cuts the bitmap into images of the list's width (the bitmap's height must be the list's
// height); pixels where the mask bitmap is white are transparent. The index of the first
// image added, or -1.
int WINAPI ImageList_Add(HIMAGELIST himl, HBITMAP hbmImage, HBITMAP hbmMask);
// As ImageList_Add, pixels of the colour crMask being transparent.
int WINAPI ImageList_AddMasked(HIMAGELIST himl, HBITMAP hbmImage, COLORREF crMask);
// -1 removes every image.
BOOL WINAPI ImageList_Remove(HIMAGELIST himl, int i);
// A list made from a bitmap resource cut into images cx wide (as high as the bitmap);
// crMask CLR_NONE: no transparency, CLR_DEFAULT: the colour of the top-left pixel.
// uType IMAGE_BITMAP only.
HIMAGELIST WINAPI ImageList_LoadImageW(HINSTANCE hi, LPCWSTR lpbmp, int cx, int cGrow,
                                       COLORREF crMask, UINT uType, UINT uFlags);
#define ImageList_LoadBitmap(hi, lpbmp, cx, cGrow, crMask)                                         \
    ImageList_LoadImageW(hi, lpbmp, cx, cGrow, crMask, IMAGE_BITMAP, 0)
