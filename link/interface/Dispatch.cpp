// The dispatch table: every member by its id, with argument conversion at the boundary.
#include "halvex/Dispatch.h"

#include <limits>

#include "halvex/HalvexCtrl.h"

namespace halvex {
namespace {

// Reads arguments by position; a failed conversion clears `ok` and yields a zero value.
struct Args {
  const std::vector<Variant>& v;
  bool ok = true;

  template <class T>
  T Int(size_t i) {
    long long value = 0;
    const Variant& a = v[i];
    if (auto p = std::get_if<int16_t>(&a))
      value = *p;
    else if (auto p = std::get_if<int32_t>(&a))
      value = *p;
    else if (auto p = std::get_if<uint8_t>(&a))
      value = *p;
    else if (auto p = std::get_if<uint16_t>(&a))
      value = *p;
    else if (auto p = std::get_if<uint32_t>(&a))
      value = *p;
    else if (auto p = std::get_if<VariantBool>(&a))
      value = p->value;
    else
      return Fail<T>();
    if (value < static_cast<long long>(std::numeric_limits<T>::min()) ||
        value > static_cast<long long>(std::numeric_limits<T>::max())) {
      return Fail<T>();
    }
    return static_cast<T>(value);
  }
  int16_t I2(size_t i) { return Int<int16_t>(i); }
  int32_t I4(size_t i) { return Int<int32_t>(i); }
  uint8_t UI1(size_t i) { return Int<uint8_t>(i); }
  uint16_t UI2(size_t i) { return Int<uint16_t>(i); }
  uint32_t UI4(size_t i) { return Int<uint32_t>(i); }
  bool Bool(size_t i) {
    const Variant& a = v[i];
    if (auto p = std::get_if<VariantBool>(&a)) return p->IsTrue();
    if (auto p = std::get_if<int16_t>(&a)) return *p != 0;
    if (auto p = std::get_if<int32_t>(&a)) return *p != 0;
    if (auto p = std::get_if<uint8_t>(&a)) return *p != 0;
    if (auto p = std::get_if<uint16_t>(&a)) return *p != 0;
    if (auto p = std::get_if<uint32_t>(&a)) return *p != 0;
    ok = false;
    return false;
  }
  std::string Str(size_t i) {
    if (auto p = std::get_if<std::string>(&v[i])) return *p;
    ok = false;
    return {};
  }
  int16_t* Ptr(size_t i) {
    if (auto p = std::get_if<int16_t*>(&v[i])) return *p;
    ok = false;
    return nullptr;
  }

 private:
  template <class T>
  T Fail() {
    ok = false;
    return T{};
  }
};

using Call = void (*)(CHalvexCtrl&, Args&, Variant*);

struct Entry {
  int id;
  const char* name;
  size_t argc;
  Call call;
};

Variant B(bool b) { return VariantBool::From(b); }

#define HX_ENTRY(id, name, argc, body)                                                    \
  Entry {                                                                                 \
    id, name, argc,                                                                       \
        [](CHalvexCtrl & c, [[maybe_unused]] Args & a, [[maybe_unused]] Variant * r) body \
  }

const Entry kMethods[] = {
    HX_ENTRY(3, "Connect", 2,
             {
               auto p = a.I2(0);
               auto b = a.I2(1);
               if (a.ok) *r = B(c.Connect(p, b));
             }),
    HX_ENTRY(4, "SendData", 2,
             {
               auto p = a.Ptr(0);
               auto n = a.I2(1);
               if (a.ok) c.SendData(p, n);
             }),
    HX_ENTRY(5, "SendAndWait", 3,
             {
               auto p = a.Ptr(0);
               auto n = a.I2(1);
               auto w = a.I2(2);
               if (a.ok) *r = B(c.SendAndWait(p, n, w));
             }),
    HX_ENTRY(6, "GetDevice", 0, { *r = c.GetDevice(); }),
    HX_ENTRY(7, "GetSWVersion", 0, { *r = c.GetSWVersion(); }),
    HX_ENTRY(8, "GetID", 0, { *r = c.GetID(); }),
    HX_ENTRY(9, "GetManfDate", 0, { *r = c.GetManfDate(); }),
    HX_ENTRY(10, "Reset", 0, { c.Reset(); }),
    HX_ENTRY(11, "SetChannel", 1,
             {
               auto ch = a.I2(0);
               if (a.ok) *r = c.SetChannel(ch);
             }),
    HX_ENTRY(12, "SleepTest", 1,
             {
               auto d = a.I2(0);
               if (a.ok) *r = c.SleepTest(d);
             }),
    HX_ENTRY(13, "DisplayTest", 1,
             {
               auto ch = a.I2(0);
               if (a.ok) c.DisplayTest(ch);
             }),
    HX_ENTRY(14, "BackLight", 1,
             {
               auto on = a.Bool(0);
               if (a.ok) c.BackLight(on);
             }),
    HX_ENTRY(15, "BeepTest", 1,
             {
               auto d = a.I2(0);
               if (a.ok) c.BeepTest(d);
             }),
    HX_ENTRY(16, "ScanKeyboard", 0, { *r = c.ScanKeyboard(); }),
    HX_ENTRY(17, "RFTest", 1,
             {
               auto n = a.I2(0);
               if (a.ok) *r = c.RFTest(n);
             }),
    HX_ENTRY(18, "ScanLaser", 0, { *r = c.ScanLaser(); }),
    HX_ENTRY(19, "WriteStringToEeprom", 3,
             {
               auto ad = a.I2(0);
               auto pg = a.I2(1);
               auto t = a.Str(2);
               if (a.ok) *r = B(c.WriteStringToEeprom(ad, pg, t));
             }),
    HX_ENTRY(20, "GetChannel", 0, { *r = c.GetChannel(); }),
    HX_ENTRY(21, "Boot", 1,
             {
               auto f = a.Str(0);
               if (a.ok) *r = c.Boot(f);
             }),
    HX_ENTRY(22, "Update", 1,
             {
               auto f = a.Str(0);
               if (a.ok) *r = c.Update(f);
             }),
    HX_ENTRY(23, "ReadEepromVal", 2,
             {
               auto ad = a.I2(0);
               auto pg = a.I2(1);
               if (a.ok) *r = c.ReadEepromVal(ad, pg);
             }),
    HX_ENTRY(24, "SetEepromVal", 3,
             {
               auto ad = a.I2(0);
               auto dt = a.I2(1);
               auto pg = a.I2(2);
               if (a.ok) *r = c.SetEepromVal(ad, dt, pg);
             }),
    HX_ENTRY(25, "ChargerTest", 0, { *r = c.ChargerTest(); }),
    HX_ENTRY(26, "GetRSSI", 0, { *r = c.GetRSSI(); }),
    HX_ENTRY(27, "ReadEepromBlock", 3,
             {
               auto s = a.I2(0);
               auto pg = a.I2(1);
               auto n = a.I2(2);
               if (a.ok) *r = B(c.ReadEepromBlock(s, pg, n));
             }),
    HX_ENTRY(28, "ReadEepStr", 3,
             {
               auto ad = a.I2(0);
               auto pg = a.I2(1);
               auto n = a.I2(2);
               if (a.ok) *r = c.ReadEepStr(ad, pg, n);
             }),
    HX_ENTRY(29, "ReadPage1", 2,
             {
               auto s = a.I2(0);
               auto e = a.I2(1);
               if (a.ok) *r = B(c.ReadPage1(s, e));
             }),
    HX_ENTRY(30, "ReadPage2", 2,
             {
               auto s = a.I2(0);
               auto e = a.I2(1);
               if (a.ok) *r = B(c.ReadPage2(s, e));
             }),
    HX_ENTRY(31, "GetEepByte", 2,
             {
               auto pg = a.I2(0);
               auto ad = a.I2(1);
               if (a.ok) *r = c.GetEepByte(pg, ad);
             }),
    HX_ENTRY(32, "SetEepByte", 3,
             {
               auto pg = a.I2(0);
               auto ad = a.I2(1);
               auto dt = a.I2(2);
               if (a.ok) c.SetEepByte(pg, ad, dt);
             }),
    HX_ENTRY(33, "ReadMemStr", 3,
             {
               auto ad = a.I2(0);
               auto pg = a.I2(1);
               auto n = a.I2(2);
               if (a.ok) *r = c.ReadMemStr(ad, pg, n);
             }),
    HX_ENTRY(34, "ReadEprFile", 1,
             {
               auto f = a.Str(0);
               if (a.ok) *r = B(c.ReadEprFile(f));
             }),
    HX_ENTRY(35, "WriteLaser", 1,
             {
               auto cmd = a.Str(0);
               if (a.ok) *r = c.WriteLaser(cmd);
             }),
    HX_ENTRY(36, "WriteBlockToEeprom", 4,
             {
               auto ad = a.I2(0);
               auto pg = a.I2(1);
               auto n = a.I2(2);
               auto p = a.Ptr(3);
               if (a.ok) *r = B(c.WriteBlockToEeprom(ad, pg, n, p));
             }),
    HX_ENTRY(37, "SetID", 1,
             {
               auto id = a.I4(0);
               if (a.ok) *r = B(c.SetID(id));
             }),
    HX_ENTRY(38, "WriteEepromFile", 1,
             {
               auto f = a.Str(0);
               if (a.ok) *r = B(c.WriteEepromFile(f));
             }),
    HX_ENTRY(39, "SetBSMode", 1,
             {
               auto m = a.I2(0);
               if (a.ok) c.SetBSMode(m);
             }),
    HX_ENTRY(40, "SetTxPower", 1,
             {
               auto l = a.I2(0);
               if (a.ok) *r = c.SetTxPower(l);
             }),
    HX_ENTRY(41, "GetPRPLow", 1,
             {
               auto ad = a.I2(0);
               if (a.ok) *r = c.GetPRPLow(ad);
             }),
    HX_ENTRY(42, "GetPRPHi", 1,
             {
               auto ad = a.I2(0);
               if (a.ok) *r = c.GetPRPHi(ad);
             }),
    HX_ENTRY(43, "GetPRPData", 0, { *r = B(c.GetPRPData()); }),
    HX_ENTRY(44, "SendBER", 2,
             {
               auto m = a.I2(0);
               auto n = a.I2(1);
               if (a.ok) *r = B(c.SendBER(m, n));
             }),
    HX_ENTRY(45, "WaitBERData", 1,
             {
               auto m = a.Bool(0);
               if (a.ok) c.WaitBERData(m);
             }),
    HX_ENTRY(46, "GetBERData", 1,
             {
               auto k = a.I2(0);
               if (a.ok) *r = c.GetBERData(k);
             }),
    HX_ENTRY(47, "GetCOMbuf", 2,
             {
               auto p = a.Ptr(0);
               auto n = a.I2(1);
               if (a.ok) *r = B(c.GetCOMbuf(p, n));
             }),
    HX_ENTRY(48, "ReadInfo", 0, { *r = c.ReadInfo(); }),
    HX_ENTRY(49, "BromTest", 2,
             {
               auto cmd = a.I2(0);
               auto d = a.I2(1);
               if (a.ok) *r = c.BromTest(cmd, d);
             }),
    HX_ENTRY(50, "EEPROMTest", 0, { *r = c.EEPROMTest(); }),
    HX_ENTRY(51, "ChargerLed", 1,
             {
               auto on = a.UI1(0);
               if (a.ok) c.ChargerLed(on);
             }),
    HX_ENTRY(52, "SetSleep", 0, { c.SetSleep(); }),
    HX_ENTRY(55, "ConnectTCP", 2,
             {
               auto ad = a.UI4(0);
               auto p = a.UI2(1);
               if (a.ok) *r = c.ConnectTCP(ad, p);
             }),
    HX_ENTRY(56, "Disconnect", 0, { c.Disconnect(); }),
    HX_ENTRY(-552, "AboutBox", 0, { c.AboutBox(); }),
};

#undef HX_ENTRY

const Entry* FindMethod(int dispid) {
  for (const Entry& e : kMethods) {
    if (e.id == dispid) return &e;
  }
  return nullptr;
}

constexpr int kBootTypeId = 1;
constexpr int kResettypeId = 2;

}  // namespace

DispatchStatus Invoke(CHalvexCtrl& ctrl, int dispid, InvokeKind kind,
                      const std::vector<Variant>& args, Variant* result) {
  Variant scratch;
  Variant& out = result ? *result : scratch;
  out = std::monostate{};

  if (dispid == kBootTypeId || dispid == kResettypeId) {
    if (kind == InvokeKind::kMethod) return DispatchStatus::kMemberNotFound;
    if (kind == InvokeKind::kPropertyGet) {
      if (!args.empty()) return DispatchStatus::kBadParamCount;
      out = B(dispid == kBootTypeId ? ctrl.GetBootType() : ctrl.GetResettype());
      return DispatchStatus::kOk;
    }
    if (args.size() != 1) return DispatchStatus::kBadParamCount;
    Args a{args};
    const bool value = a.Bool(0);
    if (!a.ok) return DispatchStatus::kTypeMismatch;
    if (dispid == kBootTypeId) {
      ctrl.SetBootType(value);
    } else {
      ctrl.SetResettype(value);
    }
    return DispatchStatus::kOk;
  }

  const Entry* e = FindMethod(dispid);
  if (!e || kind != InvokeKind::kMethod) return DispatchStatus::kMemberNotFound;
  if (args.size() != e->argc) return DispatchStatus::kBadParamCount;
  // Each entry converts all its arguments before it calls, so a mismatch calls nothing.
  Args a{args};
  e->call(ctrl, a, &out);
  return a.ok ? DispatchStatus::kOk : DispatchStatus::kTypeMismatch;
}

DispatchStatus Invoke(CHalvexCtrl& ctrl, int dispid, const std::vector<Variant>& args,
                      Variant* result) {
  InvokeKind kind = InvokeKind::kMethod;
  if (dispid == kBootTypeId || dispid == kResettypeId) {
    kind = args.empty() ? InvokeKind::kPropertyGet : InvokeKind::kPropertyPut;
  }
  return Invoke(ctrl, dispid, kind, args, result);
}

std::string DispatchName(int dispid) {
  if (dispid == kBootTypeId) return "BootType";
  if (dispid == kResettypeId) return "Resettype";
  const Entry* e = FindMethod(dispid);
  return e ? e->name : "";
}

}  // namespace halvex
