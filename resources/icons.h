#pragma once
#include <vector>
#include "platform/core/resources.h"
std::vector<platform::res::IconResource> ProgramIcons();
