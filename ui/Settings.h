// The remembered output folder: one REG_SZ value per user and output extension.
#pragma once

#include <string>

// Software\Quenlow Rizav Ozirurave\<extension of the preset provider>, under HKEY_CURRENT_USER.
std::wstring settingsKeyPath();
// Empty on any failure; creates the key when it is missing.
std::wstring readOutputDir();
// False only when the key can be neither opened nor created.
bool writeOutputDir(const std::wstring& folder);
