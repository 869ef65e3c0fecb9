// Pinvane.exe: writes one Windows shortcut per run from its command line.
#include "linktool_win32.h"

int main() { return RunPinvane(GetCommandLineW()); }
