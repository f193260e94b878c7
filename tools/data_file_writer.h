// Writing data files moved beside their reading: core/data_file_writer.h.
#pragma once

#include "core/data_file_writer.h"
