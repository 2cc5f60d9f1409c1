// Ids of the program's resources and of their controls and menu commands. Read by the
// resource compiler for quillbrook.rc and by the C++ code that loads the resources.
#pragma once

// ---- Dialog templates -------------------------------------------------------------------
#define IDD_MAIN_JA 101
#define IDD_MAIN_EN 102
#define IDD_FILE_EXISTS_JA 103
#define IDD_FILE_EXISTS_EN 104
#define IDD_FOLDER_BROWSER 105
#define IDD_ABOUT 107
#define IDD_PROXY_JA 109
#define IDD_PROXY_EN 110
#define IDD_CREDENTIALS_JA 111
#define IDD_CREDENTIALS_EN 112

// ---- Menus ------------------------------------------------------------------------------
#define IDM_POPUP_JA 106
#define IDM_POPUP_EN 107

// ---- Icons and bitmaps ------------------------------------------------------------------
#define IDI_APP 104
#define IDI_QUESTION_BOX 105
#define IDB_FOLDERS 108

// ---- Controls without an id ---------------------------------------------------------------
#define IDC_STATIC (-1)

// ---- Main dialog ------------------------------------------------------------------------
#define IDC_URL 1001
#define IDC_BROWSE 1004
#define IDC_START 1005
#define IDC_PAUSE 1006
#define IDC_STOP 1007
#define IDC_BYTES 1009
#define IDC_REST_TIME 1010
#define IDC_FILE_NAME 1012
#define IDC_PROGRESS 1013
#define IDC_PATH 1014
#define IDC_SPEED 1019
#define IDC_MENU_BUTTON 1023

// ---- Pop-up menu commands -----------------------------------------------------------------
#define IDM_UPDATE 40001
#define IDM_ABOUT 40002
#define IDM_PROXY 40004

// ---- Folder browser ---------------------------------------------------------------------
#define IDC_BROWSER_PATH 1006
#define IDC_BROWSER_TITLE 1008
#define IDC_BROWSER_TREE 1010

// ---- File-exists question ---------------------------------------------------------------
#define IDC_RESUME 1015
#define IDC_OVERWRITE 1016
#define IDC_QUESTION_ICON 1018

// ---- About box --------------------------------------------------------------------------
#define IDC_ABOUT_ADDRESS 1025

// ---- Proxy dialog -----------------------------------------------------------------------
#define IDC_PROXY_ENABLE 1027
#define IDC_PROXY_GROUP 1028
#define IDC_PROXY_SERVER 1029
#define IDC_PROXY_IMPORT 1031
#define IDC_PROXY_PORT 1033
#define IDC_PROXY_USER 1037
#define IDC_PROXY_PASSWORD 1038

// ---- Credentials prompt -----------------------------------------------------------------
#define IDC_AUTH_GROUP 1028
#define IDC_AUTH_USER 1034
#define IDC_AUTH_PASSWORD 1035
#define IDC_AUTH_TARGET 1036
