#pragma once
#include <stdint.h>

#include "ServiceBase.h"
#include "ServiceHost.h"

// The program's entry: looks at the first argument only, performs one
// management action, prints the help, or runs the service through the host.
// Messages go to standard output; the result is the process exit code.
int RunServiceCommandLine(int argc, wchar_t** argv, ServiceHost& host, bool& consoleMode, ServiceBase& service);
