// Loaded modules and their resources. The program's executable is one
// module; its instance handle finds its string table, menus, accelerators,
// icons and raw data.
#pragma once

#include <memory>
#include <vector>

#include <windows.h>

#include "platform/core/handle_table.h"
#include "platform/core/resources.h"

namespace platform {

struct Module {
  const res::ModuleResources* resources = nullptr;
};

// A loaded menu: a tree of items, as LoadMenuW returns it.
struct Menu {
  std::vector<res::MenuItem> items;
  bool owned = true;  // false for a pop-up that belongs to its parent menu
};

struct AcceleratorTable {
  std::vector<ACCEL> entries;
};

class ModuleRegistry {
 public:
  HINSTANCE add(const res::ModuleResources& resources);
  const res::ModuleResources* resources(HINSTANCE instance) const;

  HMENU add_menu(Menu menu);
  Menu* menu(HMENU h) const;
  bool remove_menu(HMENU h);

  HACCEL add_accelerators(AcceleratorTable table);
  AcceleratorTable* accelerators(HACCEL h) const;

 private:
  HandleTable<Module> modules_{HandleKind::instance};
  HandleTable<Menu> menus_{HandleKind::menu};
  HandleTable<AcceleratorTable> accelerators_{HandleKind::accelerator};
};

// The pictures of an icon resource of a module, for LoadIconW; nullptr (and
// the thread's last error set) when there is none.
const std::vector<res::IconImage>* FindIconImages(HINSTANCE instance, LPCWSTR name);

// Finds a raw resource of a module by name and type (numeric or text).
const res::RawResource* FindRaw(const res::ModuleResources& resources, LPCWSTR name, LPCWSTR type);

}  // namespace platform
