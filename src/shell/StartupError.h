#pragma once

#include <QString>

#include "platform/MessageBox.h"

namespace norvik::shell {

// True when the command-line argument string is "/quiet" in any case,
// blanks (only blanks) around it.
bool IsQuietArgument(const QString& arguments);

// In a catch block of a start-up step: the error dialog for the exception
// being handled. True when the user chose to go on; otherwise the closing
// notice was shown and the program is to end.
bool GoOnAfterStartupError(platform::MessageBox& boxes);

}  // namespace norvik::shell
