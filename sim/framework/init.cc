// The framework's start, InitApi: the one entry point its module definition file exports, which
// the server's loader calls once, before any plugin is loaded. Here it makes the framework's
// log sinks the server's.
#include "sim/framework/framework.h"

namespace standin {
void OwnTheServerLog();
}

extern "C" void InitApi() { standin::OwnTheServerLog(); }
