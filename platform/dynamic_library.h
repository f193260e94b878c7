// Code loaded at run time: a shared library that a program needs for only
// some of its work, so that the rest starts without it.
#pragma once

#include <filesystem>
#include <string>

namespace zelvan_tts {

// Loads the shared library `file`; a bare file name is searched for as the
// system searches. The library stays loaded for the life of the process:
// code linked to LibTorch leaves threads behind that must keep their code.
// Null when it cannot be loaded; `error` then says why.
void* load_library(const std::filesystem::path& file, std::string& error);

// The address of the function `name` that `library` exports, or null.
void* library_symbol(void* library, const char* name);

}  // namespace zelvan_tts
