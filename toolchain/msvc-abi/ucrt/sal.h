// Why this exists: the STL uses a few source annotations that mingw-w64's <sal.h> lacks; they
// only annotate, so they are empty.
#pragma once
#include_next <sal.h>
#ifndef _Deref_post_opt_valid_
#define _Deref_post_opt_valid_
#endif
