#pragma once

#include <string>

#include "export/Export.h"
#include "trace/Monitor.h"

namespace norvik::exports {

// A monitor's table: text in the window's columns, padded with blanks
// (CR LF line ends, as every text the window shows), CSV with the columns as its
// header row, JSON one object with one row per hop and address. Times are
// milliseconds; where nothing answered a CSV cell is empty and a JSON
// value null.
std::string Render(Format format, const trace::MonitorTable& table);

}  // namespace norvik::exports
