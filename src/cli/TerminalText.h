#pragma once

#include <string>

namespace norvik::cli {

// Text that came from elsewhere (a server's answer, a stored name) as a
// command prints it. On a terminal it is read as the whois lookup reads an
// answer (UTF-8 when valid, else one character per byte) and written as
// UTF-8 with every C0 and C1 control character but TAB, LF and CR in the
// visible form of `cat -v` (ESC as ^[, DEL as ^?, U+009B as M-^[), so that
// no escape sequence reaches the terminal. To a pipe or a file it goes
// byte for byte as it came.
std::string Printable(const std::string& bytes);

// The terminal form above, whatever standard output is.
std::string VisibleControls(const std::string& bytes);

}  // namespace norvik::cli
