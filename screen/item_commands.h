// What the user does with the list and the field rows.
#pragma once

void OnListSelectionChanged();
void OnSaveCategories();
void OnNewItem();
void OnEditItem();
