#pragma once

namespace norvik::platform {

// What the build knows of the product, set in one place (the project's
// CMakeLists.txt): the version ("4.01"), the web site and the contact
// address.
const char* ProductVersion();
const char* ProductWebAddress();
const char* ProductContactAddress();

}  // namespace norvik::platform
