// Resource identifiers shared by ambrett.rc and the program's C++ code.
// Plain #defines only: windres reads this file as well as the compiler.
#ifndef AMBRETT_RESOURCE_H
#define AMBRETT_RESOURCE_H

// Dialog templates
#define IDD_MAIN_PRESETS    129  // main window with the preset chooser
#define IDD_PROGRESS        130
#define IDD_MAIN            131  // main window without the preset chooser

// Application icon group
#define IDI_APP             107

// Button pictures, resource type "PNG"
#define IDB_ADD             133
#define IDB_CLEAR           134
#define IDB_CONVERT         135
#define IDB_REMOVE          136

// Main window controls
#define IDC_CONVERT         1001
#define IDC_BROWSE          1004
#define IDC_FOLDER          1006
#define IDC_PRESET          1009
#define IDC_ADD             1010
#define IDC_REMOVE          1011
#define IDC_CLEAR           1012
#define IDC_FILELIST        1013
#define IDC_OPEN            1014
#define IDC_PRESET_LABEL    1022
#define IDC_FOLDER_LABEL    1023

// Progress window controls
#define IDC_FILE_TEXT       1016  // second line: the file being converted
#define IDC_PROGRESS_BAR    1017
#define IDC_TOTAL_TEXT      1018  // top line: counter and overall percentage
#define IDC_STOP            1020
#define IDC_CLOSE           1021

#endif
