// The session layer reaching up into the link: the layer check must refuse it.
#pragma once

#include "link/transport.h"
