#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace norvik::cli {

using Args = std::vector<std::string>;

// Each command gets the words after its name and returns the exit code:
// 0 done, 1 failed, 2 usage error.
int runResolve(const Args& args, std::ostream& out, std::ostream& err);
int runReverse(const Args& args, std::ostream& out, std::ostream& err);
int runEcho(const Args& args, std::ostream& out, std::ostream& err);
int runReg(const Args& args, std::ostream& out, std::ostream& err);
int runPing(const Args& args, std::ostream& out, std::ostream& err);
int runTrace(const Args& args, std::ostream& out, std::ostream& err);
int runWhois(const Args& args, std::ostream& out, std::ostream& err);
int runServers(const Args& args, std::ostream& out, std::ostream& err);
int runRdap(const Args& args, std::ostream& out, std::ostream& err);

}  // namespace norvik::cli
