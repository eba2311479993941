// Stands in front of the desktop windows.h for the one file that defines the
// program's entry. The device calls WinMain with a UTF-16 command line; the
// desktop headers declare WinMain with an 8-bit one (their UTF-16 entry is
// wWinMain), so the definition is renamed here and the rest of the file is
// checked as it is.
#include_next <windows.h>
#define WinMain DeviceWinMain
