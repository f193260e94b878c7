// The voice model's constants live with the speaker table, where programs
// without the engine find them too.
#pragma once

#include "shared/symbols/model_constants.h"
