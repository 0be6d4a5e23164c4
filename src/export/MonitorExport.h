#pragma once

#include <string>

#include "export/Export.h"
#include "trace/Monitor.h"

namespace norvik::exports {

// A monitor's table: text as the window's columns (LF line ends, for the
// terminal; the window turns them into CR LF), CSV with the columns as its
// header row, JSON one object with one row per hop and address. Times are
// milliseconds; where nothing answered a CSV cell is empty and a JSON
// value null.
std::string Render(Format format, const trace::MonitorTable& table);

}  // namespace norvik::exports
