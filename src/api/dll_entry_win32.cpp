// The DLL's attach/detach hook. Static construction and destruction do the
// library's work; the hook itself only reports success.
#include <windows.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
