// Opaque, checkable handles. A handle value packs a kind tag, a slot index
// and the slot's generation, so a handle that outlived its object (a window
// after DestroyWindow) or a handle of another kind is recognised and
// refused instead of being followed. Values stay below 2^31 and have bit 0
// clear: the shell's "handle OR 1" convention can be detected and undone.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace platform {

enum class HandleKind : std::uint32_t {
  window = 1,
  device_context = 2,
  icon = 3,
  menu = 4,
  accelerator = 5,
  gdi_object = 6,
  image_list = 7,
  instance = 8,
  remote_window = 9,
};

template <typename T>
class HandleTable {
 public:
  explicit HandleTable(HandleKind kind) : kind_(kind) {}

  std::uintptr_t add(std::unique_ptr<T> object) {
    std::uint32_t index;
    if (!free_.empty()) {
      index = free_.back();
      free_.pop_back();
    } else {
      index = static_cast<std::uint32_t>(slots_.size());
      slots_.push_back({});
    }
    Slot& slot = slots_[index];
    slot.object = std::move(object);
    return encode(index, slot.generation);
  }

  T* get(std::uintptr_t value) const {
    auto index = decode(value);
    if (!index) return nullptr;
    return slots_[*index].object.get();
  }

  // Removes the object; its handle becomes stale at once.
  std::unique_ptr<T> remove(std::uintptr_t value) {
    auto index = decode(value);
    if (!index) return nullptr;
    Slot& slot = slots_[*index];
    std::unique_ptr<T> object = std::move(slot.object);
    slot.generation = (slot.generation + 1) & kGenerationMask;
    free_.push_back(*index);
    return object;
  }

  template <typename F>
  void for_each(F&& f) const {
    for (std::uint32_t i = 0; i < slots_.size(); ++i)
      if (slots_[i].object) f(encode(i, slots_[i].generation), *slots_[i].object);
  }

 private:
  static constexpr std::uint32_t kIndexBits = 17;
  static constexpr std::uint32_t kGenerationBits = 9;
  static constexpr std::uint32_t kIndexMask = (1u << kIndexBits) - 1;
  static constexpr std::uint32_t kGenerationMask = (1u << kGenerationBits) - 1;

  struct Slot {
    std::unique_ptr<T> object;
    std::uint32_t generation = 1;
  };

  std::uintptr_t encode(std::uint32_t index, std::uint32_t generation) const {
    std::uint32_t v = (static_cast<std::uint32_t>(kind_) << (1 + kIndexBits + kGenerationBits)) |
                      (generation << (1 + kIndexBits)) | ((index + 1) << 1);
    return v;
  }

  std::optional<std::uint32_t> decode(std::uintptr_t value) const {
    if (value == 0 || (value & 1) || value >= 0x80000000u) return std::nullopt;
    auto v = static_cast<std::uint32_t>(value);
    if ((v >> (1 + kIndexBits + kGenerationBits)) != static_cast<std::uint32_t>(kind_)) return std::nullopt;
    std::uint32_t index = ((v >> 1) & kIndexMask);
    if (index == 0) return std::nullopt;
    index -= 1;
    std::uint32_t generation = (v >> (1 + kIndexBits)) & kGenerationMask;
    if (index >= slots_.size() || !slots_[index].object || slots_[index].generation != generation) return std::nullopt;
    return index;
  }

  HandleKind kind_;
  std::vector<Slot> slots_;
  std::vector<std::uint32_t> free_;
};

}  // namespace platform
