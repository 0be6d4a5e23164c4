#include "shell/Startup.h"

#include <exception>
#include <new>
#include <string>

#include "ping/Numbers.h"
#include "ping/PingRun.h"
#include "store/Settings.h"

namespace norvik::shell {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

bool IsQuietArgument(const QString& arguments) {
    // Only blanks go: a tab or line end around the word makes it another
    // argument.
    qsizetype first = 0;
    qsizetype last = arguments.size();
    while (first < last && arguments[first] == u' ') ++first;
    while (last > first && arguments[last - 1] == u' ') --last;
    return arguments.mid(first, last - first).toLower() == QStringLiteral("/quiet");
}

namespace {

// In a catch block: the error dialog for the exception being handled. True
// when the user chose to go on; otherwise the closing notice was shown.
bool goOnAfterError(platform::MessageBox& boxes) {
    // What the failure shows as its error number and description.
    int number = 5;
    std::string description;
    try {
        throw;
    } catch (const std::bad_alloc&) {
        number = 7;
        description = "Out of memory";
    } catch (const std::exception& e) {
        description = e.what();
    } catch (...) {
        description = "Invalid procedure call or argument";
    }
    const std::string text = "Error " + ping::SignedField(number) + " occurred.\r\n" + description +
                             "\r\nDo you wish to continue?";
    if (boxes.show(text, ping::kErrorCaption, Buttons::YesNo, Icon::None) == Answer::Yes)
        return true;
    boxes.show(ping::ClosingText(), platform::kAppTitle, Buttons::Ok, Icon::Critical);
    return false;
}

}  // namespace

void StartUp(store::Registry& reg, platform::MessageBox& boxes,
             const std::function<void()>& showFirstPage, const std::function<void()>& end) {
    // Runs one step. False when the user chose to end the program.
    const auto step = [&](const std::function<void()>& s) {
        try {
            s();
            return true;
        } catch (...) {
            if (goOnAfterError(boxes)) return true;
            end();
            return false;
        }
    };
    if (store::ResetSessionFromRemembered(reg, step)) step(showFirstPage);
}

}  // namespace norvik::shell
