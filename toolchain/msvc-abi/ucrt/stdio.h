// Why this exists: the STL's file streams use a UCRT function that mingw-w64's <stdio.h> does
// not declare.
#pragma once
#include_next <stdio.h>
#ifdef __cplusplus
extern "C" {
#endif
__declspec(dllimport) errno_t
    __cdecl _get_stream_buffer_pointers(FILE* stream, char*** base, char*** pointer, int** count);
#ifdef __cplusplus
}
#endif
