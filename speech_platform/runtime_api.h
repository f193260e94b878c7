// Marks what the stand-in runtime library exports to the plugin and to the
// platform; everything else in it stays private.
#pragma once

#define ZELVAN_RUNTIME_API __attribute__((visibility("default")))
