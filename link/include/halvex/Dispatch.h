// Calls into a link object by dispatch id, the way the configurator's binding does: arguments and
// results are small variants; ids without an entry answer "member not found" and change nothing.
#pragma once

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

class CHalvexCtrl;

namespace halvex {

// A truth value at the dispatch boundary: 0 false, -1 true (any non-zero value reads as true).
struct VariantBool {
  int16_t value = 0;
  static VariantBool From(bool b) { return VariantBool{static_cast<int16_t>(b ? -1 : 0)}; }
  bool IsTrue() const { return value != 0; }
  bool operator==(const VariantBool&) const = default;
};

// Empty, I2, I4, UI1, UI2, UI4, BOOL, BSTR, PTR(I2).
using Variant = std::variant<std::monostate, int16_t, int32_t, uint8_t, uint16_t, uint32_t,
                             VariantBool, std::string, int16_t*>;

enum class InvokeKind { kMethod, kPropertyGet, kPropertyPut };

enum class DispatchStatus {
  kOk,
  kMemberNotFound,  // no entry for the id (53, 54 and unknown ids)
  kBadParamCount,   // wrong number of arguments
  kTypeMismatch,    // an argument cannot be converted to the parameter's type
};

// Arguments in declaration order. Integer arguments convert between the integer kinds when the
// value fits; BOOL accepts any integer. On any status other than kOk nothing was called.
DispatchStatus Invoke(CHalvexCtrl& ctrl, int dispid, InvokeKind kind,
                      const std::vector<Variant>& args, Variant* result);

// Method call, or property get for ids 1 and 2 when args is empty and property put otherwise.
DispatchStatus Invoke(CHalvexCtrl& ctrl, int dispid, const std::vector<Variant>& args,
                      Variant* result);

// Names of the members by id ("" for an id without entry).
std::string DispatchName(int dispid);

}  // namespace halvex
