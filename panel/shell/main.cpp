#include "VedraStatus.h"
#include "WnEvent.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR commandLine, int showCommand)
{
    (void)instance;
    (void)commandLine;
    (void)showCommand;
    return 0;
}
