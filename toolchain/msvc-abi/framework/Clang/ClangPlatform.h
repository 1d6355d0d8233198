// Why this exists: the framework's engine headers include this clang platform header, which it
// does not ship; these are the few platform macros its other headers expect of clang.
#pragma once
#define PLATFORM_COMPILER_HAS_FOLD_EXPRESSIONS 1
#define PLATFORM_RETURN_ADDRESS() __builtin_return_address(0)
#define PLATFORM_RETURN_ADDRESS_POINTER() __builtin_frame_address(0)
