// `tallyset init`: gives a calendar the settings appointment that defines
// the time card's fields, so a new user starts from a working time card.
#pragma once

#include <string>
#include <vector>

namespace tallyset {

// The arguments after "init"; returns the process exit code (0 added,
// 1 the calendar already has settings, 2 usage error or unusable calendar).
int RunInit(const std::vector<std::string>& args);

}  // namespace tallyset
