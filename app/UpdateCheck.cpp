#include "UpdateCheck.h"

#include "Globals.h"
#include "quenlowupdate.h"

namespace {

// The library keeps these addresses for the life of its handle, so they must be static.
const wchar_t kFamily[] = L"Quenlow Rizav Ozirurave";
const wchar_t kProduct[] = L"Tolvarex";
const wchar_t kDisplayName[] = L"Ambrett";
constexpr long kRelease = 2;
constexpr long kSecondsBetweenChecks = 24 * 60 * 60;

LONG_PTR text(const wchar_t* s) { return reinterpret_cast<LONG_PTR>(s); }

}  // namespace

bool checkForUpdate() {
    // Called before the main window exists, so the library gets a null owner.
    void* updater = quenlowup_create(g_hMainWnd);
    if (!updater) return false;

    quenlowup_setParam(updater, QuenlowupFamily, text(kFamily));
    quenlowup_setParam(updater, QuenlowupProduct, text(kProduct));
    quenlowup_setParam(updater, QuenlowupDisplayName, text(kDisplayName));
    quenlowup_setParam(updater, QuenlowupRelease, kRelease);
    quenlowup_setParam(updater, QuenlowupCheckInterval, kSecondsBetweenChecks);

    if (!quenlowup_haveNew(updater, false) || !quenlowup_download(updater)) {
        quenlowup_release(updater);
        return false;
    }
    // Once the download is there the program gives way to the installer, whether or not it started.
    quenlowup_install(updater);
    quenlowup_release(updater);
    return true;
}
