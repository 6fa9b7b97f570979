// The load entry of the Windows DLL. Windows calls it when a process loads
// or unloads the library and as threads start and end, while it holds the
// loader lock; so it only records the library's module handle and answers
// success. It takes no memory, loads nothing and waits for nothing.
#include <windows.h>

namespace {

// The handle of this DLL in the process that loaded it: the library's one
// piece of process-wide state. Windows hands it over before any entry point
// can be called, and it stays the same until the DLL is unloaded; sessions
// never write it.
HINSTANCE moduleHandle = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        moduleHandle = module;
    return TRUE;
}
