// quenlowupdate.dll: asks whether a newer release of a product exists, fetches it and starts it.
//
// A handle from quenlowup_create is set up with quenlowup_setParam, then asked with quenlowup_haveNew;
// after a yes, quenlowup_download fetches and verifies the installer and quenlowup_install starts it.
// quenlowup_release ends the handle. Every function returns 0 on failure (a null handle included).
//
// Parameter ids and what their value means:
//   1  text: family name; the library keeps its state under HKCU\Software\<family>\update\<product>
//   2  text: product identifier
//   3  text: product display name
//   4  number: release number of the running program; only a feed release above it is newer
//   6  number: least seconds between two checks (0: check at every call)
//
// The value is pointer-sized (LONG_PTR), not a 32-bit long: a text value is the address of a constant,
// null-terminated UTF-16 string that must outlive the handle, and on 64-bit Windows a long would cut
// that address in half. On 32-bit Windows LONG_PTR is long, so the call is the same there.
//
// Under the product's key, the REG_SZ value "feed" names the update feed: a file path or a file:// URL.
// With no feed there is never an update. The feed is UTF-8 text of key=value lines:
//   version=<release number>
//   location=<installer: file path, file:// URL, or a path relative to the feed's folder>
//   sha256=<64 hex digits of the installer>
// The library keeps the time of the last check there too (REG_QWORD "last_check", seconds).
#pragma once

#include <windows.h>

#include <cstdint>

#ifdef QUENLOWUP_BUILDING
#define QUENLOWUP_API extern "C" __declspec(dllexport)
#else
#define QUENLOWUP_API extern "C" __declspec(dllimport)
#endif

enum QuenlowupParam : int32_t {
    QuenlowupFamily = 1,
    QuenlowupProduct = 2,
    QuenlowupDisplayName = 3,
    QuenlowupRelease = 4,
    QuenlowupCheckInterval = 6,
};

QUENLOWUP_API void* quenlowup_create(HWND owner);
QUENLOWUP_API int quenlowup_setParam(void* handle, int32_t id, LONG_PTR value);
// force: check even when the last check is more recent than the interval of parameter 6.
QUENLOWUP_API int quenlowup_haveNew(void* handle, bool force);
QUENLOWUP_API int quenlowup_download(void* handle);
QUENLOWUP_API int quenlowup_install(void* handle);
QUENLOWUP_API int quenlowup_release(void* handle);
