// The program's icons, drawn as pixel art so the picture lives in the source
// and every size can be checked by eye against its neighbours.
#include "resources/icons.h"

#include "resources/resource.h"

#include <cstdint>

namespace {

using platform::res::IconFromRows;
using platform::res::IconImage;
using platform::res::IconResource;
using platform::res::PaletteEntry;


constexpr std::uint32_t Opaque(std::uint32_t rgb) { return 0xFF000000u | rgb; }

// Colours at or next to entries of a 256-colour palette, so the application
// icon barely changes when a device shows it with one.
const std::vector<PaletteEntry>& AppPalette() {
  static const std::vector<PaletteEntry> palette = {
      {'k', Opaque(0x000000)},  // outline
      {'y', Opaque(0xFFCC00)},  // ground
      {'l', Opaque(0xFFFF99)},  // ground, lit edge
      {'Y', Opaque(0xCC9900)},  // ground, shaded edge
      {'w', Opaque(0xFFFFFF)},  // clock face
      {'c', Opaque(0xCCCCCC)},  // clock face in shadow
      {'h', Opaque(0xDDDDDD)},  // gear, lit side
      {'s', Opaque(0xC0C0C0)},  // gear
      {'d', Opaque(0x808080)},  // gear, shaded side; clock ticks
      {'n', Opaque(0x33CC33)},  // short bar
      {'N', Opaque(0x006600)},
      {'r', Opaque(0xFF3333)},  // middle bar
      {'R', Opaque(0x990000)},
      {'b', Opaque(0x3366FF)},  // tall bar
      {'B', Opaque(0x003399)},
  };
  return palette;
}

IconImage App32() {
  return IconFromRows(
      {
      "................................",
      "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
      ".klllllllllllllllllllllllllllYk.",
      ".klyyyyykkkkkyyyyyyyyyyyyyyyyYk.",
      ".klyyykkwwdwwkkyyyyyyyyyyyyyyYk.",
      ".klyykwwwwkwwwwkyyyyyyyyyyyyyYk.",
      ".klykwwwwwkwwwwwkyyyyyykkkkkyYk.",
      ".klykwwwwwkwwwwwkyyyyyykbbBkyYk.",
      ".klkwwwwwwkwwwwwckyyyyykbbBkyYk.",
      ".klkwwwwwwkwwwwwckyyyyykbbBkyYk.",
      ".klkdwwwwwkkkkkwdkyyyyykbbBkyYk.",
      ".klkwwwwwwwwwwwwckyyyyykbbBkyYk.",
      ".klkwwwwwwwwwwwwckyyyyykbbBkyYk.",
      ".klykwwwwwwwwwwckyykkkkkbbBkyYk.",
      ".klykwwwwwwwwwcckyykrrRkbbBkyYk.",
      ".klyykwwwwwwwcckyyykrrRkbbBkyYk.",
      ".klyyykkccdcckkyyyykrrRkbbBkyYk.",
      ".klyyyyykkkkkyyyyyykrrRkbbBkyYk.",
      ".klykkyykhkyykkyyyykrrRkbbBkyYk.",
      ".klykhkkhhhkkskkkkkkrrRkbbBkyYk.",
      ".klyykhhhhssskyknnNkrrRkbbBkyYk.",
      ".klyykhhhsssskyknnNkrrRkbbBkyYk.",
      ".klkkhhhkkksddkknnNkrrRkbbBkyYk.",
      ".klkhhhskykddddknnNkrrRkbbBkyYk.",
      ".klkkhsskkkdddkknnNkrrRkbbBkyYk.",
      ".klyyksssddddkyknnNkrrRkbbBkyYk.",
      ".klyykssdddddkyknnNkrrRkbbBkyYk.",
      ".klykskkdddkkdkkkkkkkkkkkkkkyYk.",
      ".klykkyykdkyykkyyyyyyyyyyyyyyYk.",
      ".kYYYYYYkkkYYYYYYYYYYYYYYYYYYYk.",
      "..kkkkkkkkkkkkkkkkkkkkkkkkkkkk..",
      "................................",
      },
      AppPalette());
}

// Redrawn rather than scaled: at this size the clock hands, gear teeth and
// bars each need whole pixels of their own to stay legible.
IconImage App16() {
  return IconFromRows(
      {
      ".kkkkkkkkkkkkkk.",
      "klllllllllllllYk",
      "klyykkkkkyyykkkk",
      "klykwwwwwkyykbBk",
      "klkwwwkwwwkykbBk",
      "klkwwwkwwckykbBk",
      "klkwwwkkkckkkbBk",
      "klkwwwwwwckrRbBk",
      "klkwkwwwcckrRbBk",
      "klkkskkcckkrRbBk",
      "klkhsskkknNrRbBk",
      "kkssksdkknNrRbBk",
      "klksddkyknNrRbBk",
      "klkkdkkykkkkkkkk",
      "kYYYkYYYYYYYYYYk",
      ".kkkkkkkkkkkkkk.",
      },
      AppPalette());
}

// The two list-row states share one palette and one square, so a row that
// changes state only gains or loses its tick and never appears to move.
const std::vector<PaletteEntry>& RowStatePalette() {
  static const std::vector<PaletteEntry> palette = {
      {'G', Opaque(0x008000)},  // square outline
      {'e', Opaque(0xA0D0A0)},  // inner shadow, gives the square its depth
      {'w', Opaque(0xFFFFFF)},  // inside of the square
      {'c', Opaque(0x00A000)},  // check mark
  };
  return palette;
}

IconImage Complete16() {
  return IconFromRows(
      {
      "................",
      "................",
      "..GGGGGGGGGGGG..",
      "..GeeeeeeeeeeG..",
      "..GewwwwwwwccG..",
      "..GewwwwwwcccG..",
      "..GewwwwwcccwG..",
      "..GewcwwcccwwG..",
      "..GewccccccwwG..",
      "..GewwccccwwwG..",
      "..GewwwccwwwwG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GGGGGGGGGGGG..",
      "................",
      "................",
      },
      RowStatePalette());
}

IconImage Incomplete16() {
  return IconFromRows(
      {
      "................",
      "................",
      "..GGGGGGGGGGGG..",
      "..GeeeeeeeeeeG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GewwwwwwwwwG..",
      "..GGGGGGGGGGGG..",
      "................",
      "................",
      },
      RowStatePalette());
}

// Only the 16 standard VGA colours, so the warning keeps its look on the
// plainest displays.
IconImage Warning16() {
  static const std::vector<PaletteEntry> palette = {
      {'k', Opaque(0x000000)},  // black
      {'r', Opaque(0xFF0000)},  // red
      {'m', Opaque(0x800000)},  // maroon, the shaded side
  };
  return IconFromRows(
      {
      "......kkkk......",
      ".....krrrmk.....",
      ".....krrrmk.....",
      ".....krrrmk.....",
      ".....krrrmk.....",
      ".....krrrmk.....",
      "......krmk......",
      "......krmk......",
      "......krmk......",
      ".......kk.......",
      "................",
      "......kkkk......",
      ".....krrrmk.....",
      ".....krrrmk.....",
      ".....krrmmk.....",
      "......kkkk......",
      },
      palette);
}

}  // namespace

std::vector<platform::res::IconResource> ProgramIcons() {
  std::vector<IconResource> icons;
  icons.push_back({IDI_APP, {App32(), App16()}});
  icons.push_back({IDI_COMPLETE, {Complete16()}});
  icons.push_back({IDI_INCOMPLETE, {Incomplete16()}});
  icons.push_back({IDI_NOTICE, {Warning16()}});
  return icons;
}
