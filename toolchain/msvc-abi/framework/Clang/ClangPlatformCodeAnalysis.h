// Why this exists: the framework's engine headers include this clang code-analysis header, which
// it does not ship; static analysis annotations are not used in this build.
#pragma once
