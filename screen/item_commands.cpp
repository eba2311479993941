// The item commands act on list rows and field rows, which arrive with the
// standard controls; until then they have nothing to act on.
#include "screen/item_commands.h"

void OnListSelectionChanged() {}
void OnSaveCategories() {}
void OnNewItem() {}
void OnEditItem() {}
