// The settings text: the whole program starts in-process on a calendar
// whose settings appointment has the fuzz bytes as its body, reads its
// fields, lists a week and takes a choice, as `--script` would. Whatever the
// body says, the program must neither crash nor damage the file.
#include <cstdint>
#include <sstream>
#include <string>

#include "app/app_state.h"
#include "fuzz_support.h"
#include "platform/core/module_registry.h"
#include "platform/core/resources.h"
#include "platform/core/session.h"
#include "automation/command_line.h"
#include "platform/hosts/headless_host.h"
#include "platform/calendar/src/text_codec.h"
#include "platform/hosts/platform_floors.h"
#include "automation/script.h"
#include "automation/script_runner.h"

namespace {

std::string calendar_with(std::string_view body) {
  return "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//fuzz//EN\r\n"
         "BEGIN:VEVENT\r\nUID:settings@fuzz\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20500101T090000\r\n"
         "DTEND:20500101T093000\r\nSUMMARY:Outlook Tallyset 3 Personal Settings\r\nDESCRIPTION:" +
         platform::calendar::detail::escape_text(body) +  // so that the body reaches the program as written
         "\r\nEND:VEVENT\r\n"
         "BEGIN:VEVENT\r\nUID:e1@fuzz\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20261202T100000\r\n"
         "DURATION:PT60M\r\nSUMMARY:Work\r\nCATEGORIES:North\r\nEND:VEVENT\r\n"
         "END:VCALENDAR\r\n";
}

constexpr const char* kScript =
    "print fields\nprint list\nselect 0\nprint save\nprint pickers\n";

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "UTC", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  const std::string calendar = calendar_with(body);
  const auto file = fuzz::scratch().path() / "settings.ics";
  fuzz::write_bytes(file, calendar);

  platform::SessionOptions options;
  options.now = tallyset::ParseDateTime("2026-12-04 16:20");
  std::string problem;
  auto commands = tallyset::ParseScript(kScript, &problem);
  FUZZ_CHECK(commands.has_value());
  std::ostringstream out;
  {
    platform::Session session(options);
    platform::InstallPlatform(session, file);
    HINSTANCE instance = session.modules().add(ProgramResources());
    tallyset::ScriptRunner runner(std::move(*commands), out);
    platform::HeadlessHost host([&runner](platform::Session& s) { return runner.step(s); }, std::nullopt);
    session.set_host(&host);
    g_app = AppState{};
    WinMain(instance, nullptr, nullptr, SW_SHOW);
  }
  // Nothing was saved (no Save was tapped), so the file is as written.
  FUZZ_CHECK(fuzz::read_bytes(file) == calendar);
  return 0;
}
