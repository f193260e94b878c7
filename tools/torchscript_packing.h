// Packing TorchScript modules moved beside their loading: core/module_packing.h.
#pragma once

#include "core/module_packing.h"
