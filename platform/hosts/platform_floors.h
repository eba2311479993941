// A whole platform on a session: every floor above core installed in order,
// each registering its own window classes and services. The process entry
// and tests that run the program start their sessions through this.
#pragma once

#include <filesystem>

namespace platform {

class Session;

// GDI, the standard controls, the shell, COM and Pocket Outlook on the
// calendar at `calendar`. The desktop channel is not part of it: only a
// program that shares the user's desktop installs that.
void InstallPlatform(Session& session, const std::filesystem::path& calendar);

// What every host does when the program stands idle: answer the user's other
// programs and let the shell keep its clock and bubbles up to date.
void RunIdleDuties(Session& session);

}  // namespace platform
