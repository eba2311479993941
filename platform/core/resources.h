// A program's resources as the platform's loader sees them: string table,
// menus, accelerator tables, icons and raw data, each found by type and by
// numeric id or name. A program describes its resources once, in the shape
// of a resource script, and the platform hands them out through
// LoadStringW, LoadMenuW, LoadAcceleratorsW, LoadIconW and FindResourceW.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include <windows.h>

namespace platform::res {

// A resource is named by a 16-bit id or by a text, as MAKEINTRESOURCE allows.
using ResourceName = std::variant<WORD, std::u16string>;

struct MenuItem {
  std::u16string text;            // empty with command 0: a separator
  UINT command = 0;               // for a plain item
  std::vector<MenuItem> popup;    // for a pop-up: its items
  bool is_popup = false;
  bool grayed = false;
};

struct MenuResource {
  WORD id = 0;
  std::vector<MenuItem> items;    // the menu's top level: usually pop-ups
};

struct AcceleratorResource {
  WORD id = 0;
  std::vector<ACCEL> entries;
};

// One picture of an icon: straight-alpha ARGB pixels, row by row.
struct IconImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint32_t> argb;
};

struct IconResource {
  WORD id = 0;
  std::vector<IconImage> images;  // one per size, e.g. 32x32 and 16x16
};

struct RawResource {
  ResourceName name;
  ResourceName type;              // RT_RCDATA (10) or a custom type name
  std::vector<BYTE> bytes;
};

struct StringResource {
  WORD id = 0;
  std::u16string text;
};

struct ModuleResources {
  std::vector<StringResource> strings;
  std::vector<MenuResource> menus;
  std::vector<AcceleratorResource> accelerators;
  std::vector<IconResource> icons;
  std::vector<RawResource> raw;
};

// Raw data written as 16-bit words, the way resource scripts list RCDATA.
std::vector<BYTE> Words(std::initializer_list<WORD> words);

// Builds an icon picture from rows of characters and a palette; '.' is
// transparent. Every row must have `width` characters.
struct PaletteEntry {
  char key;
  std::uint32_t argb;
};
IconImage IconFromRows(const std::vector<const char*>& rows, const std::vector<PaletteEntry>& palette);

}  // namespace platform::res

// The executable's own resources, linked in as a resource script would be.
const platform::res::ModuleResources& ProgramResources();
