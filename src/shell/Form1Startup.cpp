// Start-up: the command line, the renewal of the session list and the
// start-up error dialog.

#include <exception>
#include <new>

#include "ping/Numbers.h"
#include "ping/PingRun.h"
#include "shell/Form1.h"
#include "store/Settings.h"

namespace norvik::shell {

using platform::Answer;
using platform::Buttons;
using platform::Icon;

namespace {

// What a failure in start-up shows as its error number and description.
struct StartupError {
    int number;
    std::string description;
};

StartupError describeCurrentException() {
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return {7, "Out of memory"};
    } catch (const std::exception& e) {
        return {5, e.what()};
    } catch (...) {
        return {5, "Invalid procedure call or argument"};
    }
}

}  // namespace

bool Form1::IsQuietArgument(const QString& arguments) {
    // Only blanks go: a tab or line end around the word makes it another
    // argument.
    qsizetype first = 0;
    qsizetype last = arguments.size();
    while (first < last && arguments[first] == u' ') ++first;
    while (last > first && arguments[last - 1] == u' ') --last;
    return arguments.mid(first, last - first).toLower() == QStringLiteral("/quiet");
}

Form1::Start Form1::Form_Load(const QString& arguments) {
    if (IsQuietArgument(arguments)) {
        hide();
        return Start::Quiet;
    }
    StartUp();
    return Start::Normal;
}

// Runs one step; a failure opens the error dialog. False when the user
// chose to end the program.
bool Form1::startupStep(const std::function<void()>& step) {
    try {
        step();
        return true;
    } catch (...) {
        const StartupError e = describeCurrentException();
        const std::string text = "Error " + ping::SignedField(e.number) + " occurred.\r\n" +
                                 e.description + "\r\nDo you wish to continue?";
        if (boxes_.show(text, ping::kErrorCaption, Buttons::YesNo, Icon::None) == Answer::Yes) {
            return true;
        }
        boxes_.show(ping::ClosingText(), platform::kAppTitle, Buttons::Ok, Icon::Critical);
        endProgram();
        return false;
    }
}

void Form1::StartUp() {
    if (ended()) return;
    const auto step = [this](const std::function<void()>& s) { return startupStep(s); };
    if (!store::ResetSessionFromRemembered(reg_, step)) return;
    startupStep([this] { showPage(PageId::Ping); });
}

}  // namespace norvik::shell
