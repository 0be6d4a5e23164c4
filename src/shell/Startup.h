#pragma once

#include <QString>
#include <functional>

#include "platform/MessageBox.h"
#include "store/Registry.h"

namespace norvik::shell {

// True when the command-line argument string is "/quiet" in any case,
// blanks (only blanks) around it.
bool IsQuietArgument(const QString& arguments);

// The normal start-up: the session list is renewed from the remembered one,
// then `showFirstPage` runs. A failing step opens the start-up error
// dialog: Yes goes on with the next step; No shows the closing notice and
// runs `end`, and start-up stops.
void StartUp(store::Registry& reg, platform::MessageBox& boxes,
             const std::function<void()>& showFirstPage, const std::function<void()>& end);

}  // namespace norvik::shell
