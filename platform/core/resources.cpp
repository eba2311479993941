// Resource loading: the string table, menus, accelerators, icons and raw
// data of a module, and the helpers that resource descriptions are built with.
#include "platform/core/resources.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/core/module_registry.h"
#include "platform/core/session.h"

namespace platform {

namespace res {

std::vector<BYTE> Words(std::initializer_list<WORD> words) {
  std::vector<BYTE> bytes;
  for (WORD w : words) {
    bytes.push_back(static_cast<BYTE>(w & 0xFF));
    bytes.push_back(static_cast<BYTE>(w >> 8));
  }
  return bytes;
}

IconImage IconFromRows(const std::vector<const char*>& rows, const std::vector<PaletteEntry>& palette) {
  IconImage image;
  image.height = static_cast<int>(rows.size());
  image.width = rows.empty() ? 0 : static_cast<int>(std::strlen(rows[0]));
  image.argb.assign(static_cast<size_t>(image.width * image.height), 0);
  for (int y = 0; y < image.height; ++y) {
    const char* row = rows[static_cast<size_t>(y)];
    int len = static_cast<int>(std::strlen(row));
    for (int x = 0; x < image.width && x < len; ++x) {
      char key = row[x];
      if (key == '.') continue;
      auto it = std::find_if(palette.begin(), palette.end(), [key](const PaletteEntry& e) { return e.key == key; });
      if (it != palette.end()) image.argb[static_cast<size_t>(y * image.width + x)] = it->argb;
    }
  }
  return image;
}

}  // namespace res

HINSTANCE ModuleRegistry::add(const res::ModuleResources& resources) {
  auto module = std::make_unique<Module>();
  module->resources = &resources;
  return reinterpret_cast<HINSTANCE>(modules_.add(std::move(module)));
}

const res::ModuleResources* ModuleRegistry::resources(HINSTANCE instance) const {
  Module* m = modules_.get(reinterpret_cast<std::uintptr_t>(instance));
  return m ? m->resources : nullptr;
}

HMENU ModuleRegistry::add_menu(Menu menu) {
  return reinterpret_cast<HMENU>(menus_.add(std::make_unique<Menu>(std::move(menu))));
}
Menu* ModuleRegistry::menu(HMENU h) const { return menus_.get(reinterpret_cast<std::uintptr_t>(h)); }
bool ModuleRegistry::remove_menu(HMENU h) { return menus_.remove(reinterpret_cast<std::uintptr_t>(h)) != nullptr; }

HACCEL ModuleRegistry::add_accelerators(AcceleratorTable table) {
  return reinterpret_cast<HACCEL>(accelerators_.add(std::make_unique<AcceleratorTable>(std::move(table))));
}
AcceleratorTable* ModuleRegistry::accelerators(HACCEL h) const {
  return accelerators_.get(reinterpret_cast<std::uintptr_t>(h));
}

namespace {

bool NameMatches(const res::ResourceName& name, LPCWSTR wanted) {
  if (IS_INTRESOURCE(wanted)) {
    auto* id = std::get_if<WORD>(&name);
    return id && *id == static_cast<WORD>(reinterpret_cast<std::uintptr_t>(wanted));
  }
  auto* text = std::get_if<std::u16string>(&name);
  return text && *text == std::u16string_view(wanted);
}

std::optional<WORD> IdOf(LPCWSTR name) {
  if (!IS_INTRESOURCE(name)) return std::nullopt;
  return static_cast<WORD>(reinterpret_cast<std::uintptr_t>(name));
}

const res::ModuleResources* ResourcesOf(HINSTANCE instance) {
  const res::ModuleResources* r = Session::current().modules().resources(instance);
  if (!r) Session::current().last_error = ERROR_INVALID_HANDLE;
  return r;
}

}  // namespace

const std::vector<res::IconImage>* FindIconImages(HINSTANCE instance, LPCWSTR name) {
  const auto* r = ResourcesOf(instance);
  auto id = IdOf(name);
  if (!r || !id) return nullptr;
  for (const auto& icon : r->icons)
    if (icon.id == *id) return &icon.images;
  Session::current().last_error = ERROR_RESOURCE_NAME_NOT_FOUND;
  return nullptr;
}

const res::RawResource* FindRaw(const res::ModuleResources& resources, LPCWSTR name, LPCWSTR type) {
  for (const auto& raw : resources.raw)
    if (NameMatches(raw.name, name) && NameMatches(raw.type, type)) return &raw;
  return nullptr;
}

}  // namespace platform

using platform::Session;

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  const auto* r = platform::ResourcesOf(hInstance);
  if (!r || !lpBuffer || cchBufferMax <= 0) return 0;
  for (const auto& s : r->strings) {
    if (s.id != uID) continue;
    int n = std::min(static_cast<int>(s.text.size()), cchBufferMax - 1);
    std::copy_n(s.text.data(), n, lpBuffer);
    lpBuffer[n] = 0;
    return n;
  }
  lpBuffer[0] = 0;
  Session::current().last_error = ERROR_RESOURCE_NAME_NOT_FOUND;
  return 0;
}

HMENU WINAPI LoadMenuW(HINSTANCE hInstance, LPCWSTR lpMenuName) {
  const auto* r = platform::ResourcesOf(hInstance);
  auto id = platform::IdOf(lpMenuName);
  if (!r || !id) return nullptr;
  for (const auto& menu : r->menus)
    if (menu.id == *id) return Session::current().modules().add_menu(platform::Menu{menu.items, true});
  Session::current().last_error = ERROR_RESOURCE_NAME_NOT_FOUND;
  return nullptr;
}

HMENU WINAPI GetSubMenu(HMENU hMenu, int nPos) {
  platform::Menu* menu = Session::current().modules().menu(hMenu);
  if (!menu || nPos < 0 || nPos >= static_cast<int>(menu->items.size())) return nullptr;
  const auto& item = menu->items[static_cast<size_t>(nPos)];
  if (!item.is_popup) return nullptr;
  // The pop-up is handed out as a menu of its own that lives as long as the session.
  return Session::current().modules().add_menu(platform::Menu{item.popup, false});
}

int WINAPI GetMenuItemCount(HMENU hMenu) {
  platform::Menu* menu = Session::current().modules().menu(hMenu);
  return menu ? static_cast<int>(menu->items.size()) : -1;
}

BOOL WINAPI DestroyMenu(HMENU hMenu) { return Session::current().modules().remove_menu(hMenu) ? TRUE : FALSE; }

HACCEL WINAPI LoadAcceleratorsW(HINSTANCE hInstance, LPCWSTR lpTableName) {
  Session& s = Session::current();
  s.calls().record("LoadAcceleratorsW");
  if (s.faults().active(platform::CoreFault::load_accelerators)) return nullptr;
  const auto* r = platform::ResourcesOf(hInstance);
  auto id = platform::IdOf(lpTableName);
  if (!r || !id) return nullptr;
  for (const auto& table : r->accelerators)
    if (table.id == *id) return s.modules().add_accelerators(platform::AcceleratorTable{table.entries});
  s.last_error = ERROR_RESOURCE_NAME_NOT_FOUND;
  return nullptr;
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  const auto* r = platform::ResourcesOf(hModule);
  if (!r) return nullptr;
  return const_cast<platform::res::RawResource*>(platform::FindRaw(*r, lpName, lpType));
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) { return hResInfo; }

LPVOID WINAPI LockResource(HGLOBAL hResData) {
  if (!hResData) return nullptr;
  auto* raw = static_cast<platform::res::RawResource*>(hResData);
  return raw->bytes.data();
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  if (!hResInfo) return 0;
  return static_cast<DWORD>(static_cast<platform::res::RawResource*>(hResInfo)->bytes.size());
}
