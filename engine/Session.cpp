#include "engine/Session.h"
