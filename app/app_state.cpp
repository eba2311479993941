#include "app/app_state.h"

AppState g_app;

void ReleaseFieldLists() {
  AppState& app = g_app;
  std::vector<HWND>().swap(app.choiceBoxes);
  std::vector<HWND>().swap(app.fieldLabels);
}
