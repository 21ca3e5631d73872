#include "app/GameClient.h"

// The one application object, constructed at program load.
CGameClient theApp;
