#include "platform/gdi/font_setup.h"

#include <fontconfig/fontconfig.h>

#include "platform/gdi/text.h"

#include <cstdlib>
#include <memory>
#include <string>

namespace platform {

namespace {

// The folders of Debian's /etc/fonts/fonts.conf, which most systems share.
constexpr char kLeanConfig[] = R"(<?xml version="1.0"?>
<fontconfig>
  <dir>/usr/share/fonts</dir>
  <dir>/usr/local/share/fonts</dir>
  <dir prefix="xdg">fonts</dir>
  <dir>~/.fonts</dir>
  <cachedir>/var/cache/fontconfig</cachedir>
  <cachedir prefix="xdg">fontconfig</cachedir>
  <cachedir>~/.fontconfig</cachedir>
  <include ignore_missing="yes" prefix="xdg">fontconfig/fonts.conf</include>
</fontconfig>
)";

struct ConfigDeleter {
  void operator()(FcConfig* c) const { FcConfigDestroy(c); }
};
struct PatternDeleter {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
struct ObjectSetDeleter {
  void operator()(FcObjectSet* s) const { FcObjectSetDestroy(s); }
};
struct FontSetDeleter {
  void operator()(FcFontSet* s) const { FcFontSetDestroy(s); }
};

bool HasDefaultFamily(FcConfig* config) {
  const std::string family = FontSpec{}.family;
  std::unique_ptr<FcPattern, PatternDeleter> pattern(FcPatternBuild(nullptr, FC_FAMILY, FcTypeString, family.c_str(), nullptr));
  std::unique_ptr<FcObjectSet, ObjectSetDeleter> fields(FcObjectSetBuild(FC_FAMILY, nullptr));
  if (!pattern || !fields) return false;
  std::unique_ptr<FcFontSet, FontSetDeleter> fonts(FcFontList(config, pattern.get(), fields.get()));
  return fonts && fonts->nfont > 0;
}

}  // namespace

void UseLeanFontConfig() {
  if (std::getenv("FONTCONFIG_FILE") != nullptr || std::getenv("FONTCONFIG_PATH") != nullptr) return;
  std::unique_ptr<FcConfig, ConfigDeleter> config(FcConfigCreate());
  if (!config ||
      !FcConfigParseAndLoadFromMemory(config.get(), reinterpret_cast<const FcChar8*>(kLeanConfig), FcTrue) ||
      !FcConfigBuildFonts(config.get()) || !HasDefaultFamily(config.get())) {
    return;
  }
  FcConfigSetCurrent(config.get());  // holds its own reference
}

}  // namespace platform
