// The control's name and version, shown in its caption line and its about box.
#pragma once

namespace halvex {
constexpr const char* kHalvexName = "Halvex Control";
constexpr const char* kHalvexVersion = "1.0";
}  // namespace halvex
