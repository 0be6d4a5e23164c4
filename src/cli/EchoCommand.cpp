#include <ostream>

#include "cli/Commands.h"

namespace norvik::cli {
int runEcho(const Args&, std::ostream&, std::ostream& err) {
    err << "not built yet\n";
    return 2;
}
}  // namespace norvik::cli
