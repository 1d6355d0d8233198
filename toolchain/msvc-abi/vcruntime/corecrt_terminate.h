// Why this exists: the STL's filesystem source includes the UCRT's <corecrt_terminate.h>, which
// mingw-w64 lacks; its declarations are those of <eh.h>.
#pragma once
#include <eh.h>
