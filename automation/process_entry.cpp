#include "automation/process_entry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "automation/command_line.h"
#include "automation/report.h"
#include "automation/init_command.h"
#include "automation/script_runner.h"
#include "platform/calendar/calendar_store.h"
#include "platform/core/module_registry.h"
#include "platform/core/screen.h"
#include "platform/core/session.h"
#include "platform/desktop/desktop_channel.h"
#include "platform/gdi/text.h"
#include "platform/hosts/headless_host.h"
#include "platform/hosts/platform_floors.h"
#include "platform/hosts/sdl_host.h"
#include "platform/shell/shell_state.h"
#include "resources/resource.h"

namespace tallyset {

using namespace platform;

namespace {

constexpr int kUsageExit = 2;

// A script from a pipe or a device has no size to check beforehand; it is
// read up to this much (far beyond any script a person writes), so that
// `--script /dev/zero` ends with a message rather than with no memory left.
constexpr std::size_t kMaxStreamedScript = 16 << 20;

bool ReadScript(const std::string& source, std::string* text, std::string* error) {
  const bool from_stdin = source == "-";
  const std::string name = from_stdin ? std::string("from standard input") : source;
  // Not O_NONBLOCK: a script may well come from a pipe (`--script <(...)`).
  const int fd = from_stdin ? STDIN_FILENO : ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = "cannot read the script " + name + ": " + std::strerror(errno);
    return false;
  }
  struct Closer {
    int fd;
    bool own;
    ~Closer() {
      if (own) ::close(fd);
    }
  } closer{fd, !from_stdin};
  struct stat st {};
  if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
    *error = "cannot read the script " + name + ": " + std::strerror(S_ISDIR(st.st_mode) ? EISDIR : errno);
    return false;
  }
  const bool bounded = !S_ISREG(st.st_mode);
  text->clear();
  char chunk[65536];
  while (true) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = "cannot read the script " + name + ": " + std::strerror(errno);
      return false;
    }
    if (n == 0) break;
    if (bounded && text->size() + static_cast<std::size_t>(n) > kMaxStreamedScript) {
      *error = "the script " + name + " is longer than " + std::to_string(kMaxStreamedScript >> 20) +
               " MiB; it was not run";
      text->clear();
      return false;
    }
    text->append(chunk, static_cast<std::size_t>(n));
  }
  return true;
}

// Tallysets meet per calendar: two on one calendar would be two writers of
// one file, two on different calendars have nothing to share.
std::string CalendarScope(const std::filesystem::path& calendar) {
  std::error_code ec;
  std::filesystem::path absolute = std::filesystem::absolute(calendar, ec);
  std::filesystem::path canonical = std::filesystem::weakly_canonical(absolute, ec);
  const std::string key = (ec ? absolute : canonical).string();
  std::uint64_t hash = 14695981039346656037ull;
  for (unsigned char c : key) hash = (hash ^ c) * 1099511628211ull;
  char text[24];
  std::snprintf(text, sizeof text, "cal-%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// A word of the command line as a shell reads it back.
std::string ShellWord(const std::string& text) {
  if (!text.empty() && text.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/._-+,=@") ==
                           std::string::npos)
    return text;
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

// The handheld's notification only says the settings were not found; a new
// user also needs to know which calendar was read and how to give it settings.
void ExplainMissingSettings(const std::filesystem::path& calendar) {
  std::error_code ec;
  const std::string path = calendar.string();
  if (!std::filesystem::exists(calendar, ec)) {
    std::fprintf(stderr, "tallyset: the calendar %s does not exist.\n", path.c_str());
  } else {
    std::string error;
    calendar::StoreOptions quiet;  // the program has already named the events it left out
    quiet.warn = [](const std::string&) {};
    auto store = calendar::CalendarStore::open(calendar, &error, quiet);
    if (!store) {
      std::fprintf(stderr, "tallyset: %s\n", error.c_str());
      return;
    }
    auto found = store->find(u"[Subject]=\"Outlook Tallyset 3 Personal Settings\"");
    if (found && !found->empty()) return;  // the settings exist: the calendar failed in some other way
    std::fprintf(stderr,
                 "tallyset: the calendar %s has no settings appointment (\"Outlook Tallyset 3 Personal Settings\").\n",
                 path.c_str());
  }
  std::fprintf(stderr,
               "tallyset: to give it a settings appointment with example fields, run: tallyset init --calendar %s\n",
               ShellWord(path).c_str());
  std::fprintf(stderr, "tallyset: how to write the fields: README, section \"Your fields\".\n");
}

// The program's own icon, for the window and the desktop's task bar.
const res::IconImage* AppIcon(const res::ModuleResources& resources) {
  for (const auto& icon : resources.icons)
    if (icon.id == IDI_APP)
      for (const auto& image : icon.images)
        if (image.width == 32) return &image;
  return nullptr;
}

bool HaveDisplay() {
  const char* x = std::getenv("DISPLAY");
  const char* wayland = std::getenv("WAYLAND_DISPLAY");
  return (x && *x) || (wayland && *wayland);
}

}  // namespace

int RunProcess(int argc, char** argv, const res::ModuleResources& resources) {
  std::vector<std::string> args(argv + 1, argv + argc);
  // Subcommands read the calendar and end; no window, no session.
  if (!args.empty() && args[0] == "report") return RunReport({args.begin() + 1, args.end()}, std::cout, std::cerr);
  if (!args.empty() && args[0] == "init") return RunInit({args.begin() + 1, args.end()});
  std::string error;
  auto cl = ParseCommandLine(args, &error);
  if (!cl) {
    std::fprintf(stderr, "tallyset: %s\n%s\n", error.c_str(), kUsageLine);
    return kUsageExit;
  }
  if (cl->help) {
    std::fputs(kUsageText, stdout);
    return 0;
  }
  if (cl->version) {
    std::printf("tallyset %s\n", TALLYSET_VERSION);
    return 0;
  }

  std::optional<std::vector<ScriptCommand>> script;
  if (cl->script) {
    std::string text;
    if (!ReadScript(*cl->script, &text, &error)) {
      std::fprintf(stderr, "tallyset: %s\n", error.c_str());
      return kUsageExit;
    }
    script = ParseScript(text, &error);
    if (!script) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return kUsageExit;
    }
  }

  bool headless = cl->headless || cl->script.has_value();
  std::unique_ptr<SdlHost> sdl;
  std::optional<std::string> screenshot = cl->screenshot;
  if (!headless) {
    if (HaveDisplay())
      sdl = SdlHost::Open(cl->screen_width, cl->screen_height, cl->zoom, &error, AppIcon(resources));
    if (!sdl) {
      // Still useful without a display: show what the program would show.
      std::fprintf(stderr, "tallyset: no display found%s; the start screen goes to tallyset-screen.png\n",
                   error.empty() ? "" : (" (" + error + ")").c_str());
      headless = true;
      if (!screenshot) screenshot = "tallyset-screen.png";
      std::string problem;
      script = ParseScript("print list\n", &problem);
    }
  }

  // Every start draws text; the font configuration loads meanwhile.
  StartFontSetup();
  SessionOptions options;
  options.screen_width = cl->screen_width;
  options.screen_height = cl->screen_height;
  options.now = cl->now;
  options.process_ends_with_session = true;
  Session session(options);
  const std::filesystem::path calendar = CalendarPath(*cl);
  InstallPlatform(session, calendar);
  InstallDesktopChannel(session, DesktopChannel::DefaultFolder(), CalendarScope(calendar));
  HINSTANCE instance = session.modules().add(resources);

  std::unique_ptr<ScriptRunner> runner;
  if (script) runner = std::make_unique<ScriptRunner>(std::move(*script), std::cout);
  HeadlessHost::Driver driver;
  if (runner) driver = [&runner](Session& s) { return runner->step(s); };
  HeadlessHost headless_host(std::move(driver), screenshot);
  if (sdl)
    session.set_host(sdl.get());
  else
    session.set_host(&headless_host);

  std::u16string command_line;
  int code = WinMain(instance, nullptr, command_line.data(), SW_SHOW);
  std::cout.flush();

  if (runner && runner->error()) {
    std::fprintf(stderr, "%s\n", runner->error()->c_str());
    return kUsageExit;
  }
  if (long other = DesktopChannel::of(session)->brought_forward()) {
    // The single-instance rule ended this start: say why, in one line.
    std::fprintf(stderr, "tallyset: %s is open in another Tallyset (process %ld), which was brought to the front\n",
                 calendar.c_str(), other);
    return code;
  }
  if (runner && !runner->finished() && !headless_host.closed()) {
    std::fprintf(stderr, "tallyset: the program ended before the script's line %d; the rest of the script was not run\n",
                 runner->pending_line());
  }
  // Notice 1 is the program's missing-settings notice.
  const auto& notes = ShellState::of(session).notifications;
  if (std::any_of(notes.begin(), notes.end(), [](const Notification& n) { return n.id == 1; }))
    ExplainMissingSettings(calendar);
  if (sdl) return code;
  if (screenshot && !headless_host.closed() && !headless_host.screenshot_failed()) {
    // The program ended by itself before it ever stood idle: show what it left.
    std::string problem;
    if (!session.screen().write_png(*screenshot, &problem)) std::fprintf(stderr, "tallyset: %s\n", problem.c_str());
  }
  return code;
}

}  // namespace tallyset
