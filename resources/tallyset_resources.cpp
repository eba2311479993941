// Tallyset's resources, written as its resource script would list them:
// strings, the Options menu, the menu-bar data, the accelerators, the icons
// and the high-resolution marker.
#include <windows.h>

#include <aygshell.h>
#include <commctrl.h>

#include "platform/core/resources.h"
#include "resources/icons.h"
#include "resources/resource.h"

using namespace platform::res;

const ModuleResources& ProgramResources() {
  static const ModuleResources resources = [] {
    ModuleResources r;
    r.strings = {
        {IDS_APP_TITLE, u"Tallyset"},
        {IDS_APP_CLASS, u"TALLYSET"},
        {IDS_OPTIONS, u"Options"},
        {IDS_SAVE, u"Save"},
    };

    MenuItem options;
    options.text = u"Options";
    options.is_popup = true;
    options.popup = {{u"New Item", CMD_NEW_ITEM, {}, false, false},
                     {u"Edit Item", CMD_EDIT_ITEM, {}, false, false},
                     {u"Exit", CMD_EXIT, {}, false, false}};
    r.menus = {{IDM_MENU, {options}}};

    // SHMENUBAR: menu, button count, then per button: image, command,
    // state, style, string, 0, pop-up index.
    r.raw.push_back({WORD{IDR_MENUBAR}, WORD{10},
                     Words({IDM_MENU, 2,
                            static_cast<WORD>(I_IMAGENONE), CMD_OPTIONS, TBSTATE_ENABLED,
                            TBSTYLE_DROPDOWN | TBSTYLE_AUTOSIZE, IDS_OPTIONS, 0, 0,
                            static_cast<WORD>(I_IMAGENONE), CMD_SAVE, TBSTATE_ENABLED,
                            TBSTYLE_BUTTON | TBSTYLE_AUTOSIZE, IDS_SAVE, 0, NOMENU})});
    // Tells the shell that the program lays itself out for high-resolution screens.
    r.raw.push_back({std::u16string(u"HI_RES_AWARE"), std::u16string(u"CEUX"), Words({1})});

    r.accelerators = {{IDR_ACCELERATORS,
                       {{FVIRTKEY | FNOINVERT | FCONTROL, 'A', CMD_NOTHING},
                        {FVIRTKEY | FNOINVERT | FCONTROL, 'Q', CMD_SAVE}}}};

    r.icons = ProgramIcons();
    return r;
  }();
  return resources;
}
