// Why this exists: the STL takes the import markers of the C++ runtime (msvcp140.dll and its
// satellite DLLs) from <crtdefs.h>; a /MD build imports them. Then the UCRT's <corecrt.h>.
#pragma once
#include <vcruntime.h>

#if defined(_DLL) && !defined(_STATIC_CPPLIB)
#define _QUILLMARK_CPPLIB_IMPORT __declspec(dllimport)
#else
#define _QUILLMARK_CPPLIB_IMPORT
#endif
#ifndef _CRTIMP2
#define _CRTIMP2 _QUILLMARK_CPPLIB_IMPORT
#endif
#ifndef _MRTIMP2
#define _MRTIMP2 _QUILLMARK_CPPLIB_IMPORT
#endif
// msvcp140_1 (memory resources), msvcp140_2 (special maths), msvcp140_codecvt_ids.
#define _CRT_SATELLITE_1 _QUILLMARK_CPPLIB_IMPORT
#define _CRT_SATELLITE_2 _QUILLMARK_CPPLIB_IMPORT
#define _CRT_SATELLITE_CODECVT_IDS _QUILLMARK_CPPLIB_IMPORT
#define _CRT_SATELLITE_CODECVT_IDS_NOIMPORT

#include <corecrt.h>
