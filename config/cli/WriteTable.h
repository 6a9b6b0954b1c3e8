// The memory writes of `check` on standard output, after the rows:
//
//  rows  one line per write: "w<TAB>PAGE<TAB>FIRST<TAB>LAST<TAB>BYTES<TAB>SOURCE", the bytes in
//        hexadecimal separated by blanks (a tag like the rows' "+" and "~", so that a script tells
//        the lines apart).
//  json  one object per write: {"write":{"page":..,"first":..,"last":..,"bytes":"01 02",
//        "source":"..","refused":false}}.
//  text  for people: a header line, then "PAGE:FIRST-LAST  BYTES  SOURCE" with 16 bytes a line
//        and the columns aligned.
//
// Tabs and line breaks in a source (a file line) are shown as blanks, so a write stays one line.
#pragma once

#include <string>
#include <vector>

#include "params/ConfigCheck.h"

namespace qelta::cli {

std::string WriteRowsLine(const RecordedWrite& write);
std::string WriteJsonLine(const RecordedWrite& write);
std::string WriteTableText(const std::vector<RecordedWrite>& writes);

}  // namespace qelta::cli
