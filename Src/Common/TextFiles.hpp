// Reading a whole file as the C runtime's text mode gives it.
#pragma once

#include <istream>
#include <string>

// Reads `file` to its end in one pass. Line ends come back as on Windows in text mode: each CR LF
// pair becomes LF (the runtime does it there; elsewhere it is done here, so files written on
// either system read the same).
std::string ReadTextToEnd(std::istream& file);
