#include "automation/init_command.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "automation/command_line.h"
#include "platform/base/utf.h"
#include "platform/calendar/calendar_store.h"

namespace tallyset {

namespace {

namespace cal = platform::calendar;

constexpr int kDoneExit = 0;
constexpr int kHasSettingsExit = 1;
constexpr int kUsageExit = 2;

const char kInitUsage[] = "usage: tallyset init [--calendar PATH] [--field \"LABEL:CHOICE;CHOICE;\"]...";

// The program reads lines 7 on as fields, and blank lines do not count, so
// every header line here must have text.
const char16_t kHeader[] =
    u"Tallyset settings: this appointment's notes define the time card's fields.\n"
    u"The first six lines are free text; blank lines are not counted at all.\n"
    u"Each line after them is one field: Label:Choice;Choice;\n"
    u"Every choice ends with a semicolon, the last one too; nothing is trimmed.\n"
    u"Changes take effect at the next start of Tallyset.\n"
    u"The fields:\n";
const char16_t kExampleFields[] =
    u"Customer:North Ltd;South plc;\n"
    u"Task:Meeting;Travel;Support;Development;\n";

int UsageError(const std::string& message) {
  std::fprintf(stderr, "tallyset init: %s\n%s\n", message.c_str(), kInitUsage);
  return kUsageExit;
}

}  // namespace

int RunInit(const std::vector<std::string>& args) {
  CommandLine cl;
  std::vector<std::string> fields;
  std::string error;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    std::string v;
    if (a == "--help" || a == "-h") {
      std::printf("%s\n", kInitUsage);
      return kDoneExit;
    } else if (a == "--calendar") {
      if (!TakeValue(args, &i, &v, &error)) return UsageError(error);
      cl.calendar = v;
    } else if (a == "--field") {
      if (!TakeValue(args, &i, &v, &error)) return UsageError(error);
      if (v.find(':') == std::string::npos) return UsageError("the field line '" + v + "' has no colon");
      // One field is one line of the settings: a line break would split it.
      if (v.find_first_of("\r\n") != std::string::npos) return UsageError("a field line cannot hold a line break");
      fields.push_back(v);
    } else {
      return UsageError("unknown option '" + a + "'");
    }
  }

  const std::filesystem::path path = CalendarPath(cl);
  std::error_code ec;
  // A calendar that does not exist yet is made a folder (a vdir) when its
  // name says so: a trailing slash, or no extension at all.
  const bool exists = std::filesystem::exists(path, ec);
  const bool make_folder =
      !exists && (!path.has_filename() || !path.filename().has_extension());
  const std::filesystem::path parent = make_folder ? path : path.parent_path();
  // The default calendar lives in a folder that a new user does not have yet.
  if (!parent.empty() && !std::filesystem::exists(parent, ec)) {
    std::filesystem::create_directories(parent, ec);
    if (ec) {
      std::fprintf(stderr, "tallyset init: cannot create the folder %s: %s\n", parent.c_str(),
                   ec.message().c_str());
      return kUsageExit;
    }
  }
  const bool existed = exists;
  auto store = cal::CalendarStore::open(path, &error);
  if (!store) {
    std::fprintf(stderr, "tallyset init: %s\n", error.c_str());
    return kUsageExit;
  }
  auto found = store->find(u"[Subject]=\"Outlook Tallyset 3 Personal Settings\"");
  if (found && !found->empty()) {
    std::fprintf(stderr,
                 "tallyset init: %s already has a settings appointment (\"Outlook Tallyset 3 Personal Settings\"); "
                 "nothing was changed. Edit its notes to change the fields.\n",
                 path.c_str());
    return kHasSettingsExit;
  }

  cal::AppointmentFields settings;
  settings.subject = u"Outlook Tallyset 3 Personal Settings";
  settings.body = kHeader;
  if (fields.empty()) settings.body += kExampleFields;
  for (const std::string& field : fields) settings.body += platform::FromUtf8(field) + u"\n";
  settings.start = {2050, 1, 1, 9, 0, 0};
  settings.duration_minutes = 30;
  cal::StoreStatus status;
  if (store->add(settings, &status) == 0) {
    std::fprintf(stderr, "tallyset init: %s\n", status.message.c_str());
    return kUsageExit;
  }
  const size_t count = fields.empty() ? 2 : fields.size();
  const std::string what = "a settings appointment of " + std::to_string(count) + (count == 1 ? " field" : " fields") +
                           (fields.empty() ? " (an example: edit its notes)" : "");
  if (existed)
    std::printf("added %s to %s\n", what.c_str(), path.c_str());
  else
    std::printf("created %s with %s\n", path.c_str(), what.c_str());
  return kDoneExit;
}

}  // namespace tallyset
