// Asks the maker's update library for a newer release before any window exists.
#pragma once

// True when a newer release has been downloaded and its installer started: the program must then end
// without showing a window.
bool checkForUpdate();
