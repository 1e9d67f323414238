#include "ConvertCore.h"

// Placeholder until the converter tool is wired in: converts nothing, so every job ends without output.
bool ConvertCore::convert(const std::wstring&, const std::wstring&) { return true; }
