// Values of the objects that commands print after their rows in the json format (the inventory,
// the device report): keys from row names, numbers where a text is a decimal number.
#pragma once

#include <string>

namespace qelta::cli {

// A JSON number when the text is a decimal integer as people write one ("0", "42", "-7"; not
// "007", "1.5" or "+3") of at most 15 digits, otherwise the text as a JSON string.
std::string JsonNumberOrString(const std::string& text);

// The snake_case key of a name: its letters in lower case and its digits, every other run of
// characters one underscore between them ("Comm ID" gives "comm_id", "Sleep time (s)"
// "sleep_time_s"); "field" when nothing is left.
std::string SnakeCaseKey(const std::string& name);

}  // namespace qelta::cli
