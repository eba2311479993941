// The font configuration text is drawn with.
#pragma once

namespace platform {

// Makes fontconfig read only the font folders and their caches (the
// system's, the user's and the user's own fonts.conf), not the dozens of
// rule files under /etc/fonts/conf.d: text here names its family and sets
// its own rendering, so those rules change nothing it draws, and reading
// them was a third of the instructions of starting on a small calendar.
// Left to fontconfig's usual set-up when FONTCONFIG_FILE or FONTCONFIG_PATH
// chooses another configuration, or when the folders hold no DejaVu Sans (a
// system that keeps its fonts elsewhere). Called before the first use of
// Pango or fontconfig, or it replaces the configuration in use.
void UseLeanFontConfig();

}  // namespace platform
