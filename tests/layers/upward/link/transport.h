// A link header: includes below it are fine.
#pragma once

#include "session/state.h"
