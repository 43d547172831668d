// A DLL that someone dropped where a program might look for DLLs.
#include <windows.h>

extern "C" __declspec(dllexport) int Planted() { return 1; }
