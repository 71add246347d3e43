// The command line and the console in UTF-8, the encoding of every text in the program.
#pragma once

#include <string>
#include <vector>

namespace pagerake {

// The program's arguments, its own name first, in UTF-8. POSIX: `argv` as given. Windows: the
// wide command line, converted; `argv` is in the ANSI code page there and has already lost what
// that page cannot write (a Cyrillic folder on a Chinese system).
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Makes the console show the UTF-8 bytes written to it as text. Windows: the console's output code
// page; POSIX: nothing (terminals take the bytes as they are).
void UseUtf8Console();

}  // namespace pagerake
