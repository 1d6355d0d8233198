// The Permissions plugin's header includes the framework's umbrella header as <API/Ark/Ark.h>,
// which Windows' file system finds as API/ARK/Ark.h; this build's does not fold letter case.
#pragma once
#include <API/ARK/Ark.h>
