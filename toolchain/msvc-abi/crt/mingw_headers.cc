// Why this exists: mingw-w64's <locale.h> makes every object compiled with unsigned char (as
// GoogleTest is, with /J) refer to __mingw_initcharmax, which its own runtime defines to fix up
// CHAR_MAX; the UCRT needs no such fix-up, so the symbol only has to exist.
extern "C" int __mingw_initcharmax = 0;
