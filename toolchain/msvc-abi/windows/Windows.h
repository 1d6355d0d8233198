// Why this exists: Windows file names ignore letter case and some headers write <Windows.h>;
// mingw-w64 ships <windows.h>, and this build runs on a case-sensitive file system.
#include <windows.h>
