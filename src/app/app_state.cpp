#include "app/app_state.h"

APPSTATE AppState;
