// The process entry: reads the command line, starts the platform with the
// chosen host and runs the program's WinMain.
#pragma once

#include "platform/core/resources.h"

namespace tallyset {

int RunProcess(int argc, char** argv, const platform::res::ModuleResources& resources);

}  // namespace tallyset
