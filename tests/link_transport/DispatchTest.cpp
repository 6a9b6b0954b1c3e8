// Calls by dispatch id: the table, argument conversion, properties and members without entry.
#include <gtest/gtest.h>

#include "InProcessPort.h"
#include "halvex/ControlFace.h"
#include "halvex/Dispatch.h"
#include "halvex/HalvexCtrl.h"
#include "halvex/PropertyBag.h"
#include "interface/LinkState.h"

using halvex::DispatchStatus;
using halvex::Invoke;
using halvex::InvokeKind;
using halvex::Variant;
using halvex::VariantBool;

TEST(Dispatch, IdsWithoutEntryAnswerMemberNotFoundAndChangeNothing) {
  CHalvexCtrl ctrl;
  ctrl.SetBootType(true);
  ctrl.SaveProperties(*std::make_unique<halvex::MemoryPropertyBag>());
  for (int id : {53, 54, 0, 57, 100, -1, -551}) {
    Variant result = int16_t{5};
    EXPECT_EQ(Invoke(ctrl, id, {}, &result), DispatchStatus::kMemberNotFound) << id;
    EXPECT_TRUE(std::holds_alternative<std::monostate>(result)) << id;
  }
  // ConnTCP with its real arguments is just as unknown.
  EXPECT_EQ(Invoke(ctrl, 53, {uint32_t{0x0100007F}, uint16_t{2101}}, nullptr),
            DispatchStatus::kMemberNotFound);
  EXPECT_FALSE(ctrl.impl().HasLink());
  EXPECT_TRUE(ctrl.GetBootType());
  EXPECT_FALSE(ctrl.IsModified());
  EXPECT_EQ(halvex::DispatchName(53), "");
  EXPECT_EQ(halvex::DispatchName(3), "Connect");
  EXPECT_EQ(halvex::DispatchName(56), "Disconnect");
  EXPECT_EQ(halvex::DispatchName(-552), "AboutBox");
}

TEST(Dispatch, PropertiesByIdOneAndTwoWithTrueAsMinusOne) {
  CHalvexCtrl ctrl;
  Variant r;
  ASSERT_EQ(Invoke(ctrl, 1, {}, &r), DispatchStatus::kOk);
  EXPECT_EQ(std::get<VariantBool>(r).value, 0);

  ASSERT_EQ(Invoke(ctrl, 2, {int16_t{1}}, nullptr), DispatchStatus::kOk);
  EXPECT_TRUE(ctrl.GetResettype());
  EXPECT_TRUE(ctrl.IsModified());
  ASSERT_EQ(Invoke(ctrl, 2, InvokeKind::kPropertyGet, {}, &r), DispatchStatus::kOk);
  EXPECT_EQ(std::get<VariantBool>(r).value, -1);

  ASSERT_EQ(Invoke(ctrl, 1, {VariantBool::From(true)}, nullptr), DispatchStatus::kOk);
  EXPECT_TRUE(ctrl.GetBootType());
  EXPECT_EQ(Invoke(ctrl, 1, {std::string("yes")}, nullptr), DispatchStatus::kTypeMismatch);
  EXPECT_TRUE(ctrl.GetBootType());
  // A property is not a method, and a method is not a property.
  EXPECT_EQ(Invoke(ctrl, 1, InvokeKind::kMethod, {}, &r), DispatchStatus::kMemberNotFound);
  EXPECT_EQ(Invoke(ctrl, 3, InvokeKind::kPropertyGet, {}, &r), DispatchStatus::kMemberNotFound);
}

TEST(Dispatch, ArgumentsConvertWhenTheyFitAndAMismatchCallsNothing) {
  halvex::test::PortFactoryScope ports;
  auto pair = halvex::test::PortPair::Create();
  ports.Add("d", pair);
  CHalvexCtrl ctrl;
  ctrl.SetComPortPath(2, "inproc:d");

  Variant r;
  // I4 40000 does not fit an I2 port number: nothing is opened.
  EXPECT_EQ(Invoke(ctrl, 3, {int32_t{40000}, int16_t{19200}}, &r), DispatchStatus::kTypeMismatch);
  EXPECT_EQ(Invoke(ctrl, 3, {std::string("2"), int16_t{19200}}, &r), DispatchStatus::kTypeMismatch);
  EXPECT_EQ(Invoke(ctrl, 3, {int16_t{2}}, &r), DispatchStatus::kBadParamCount);
  EXPECT_EQ(pair->Opens(), 0);

  ASSERT_EQ(Invoke(ctrl, 3, {int32_t{2}, uint16_t{19200}}, &r), DispatchStatus::kOk);
  EXPECT_EQ(std::get<VariantBool>(r).value, -1);
  EXPECT_EQ(pair->Opens(), 1);
  EXPECT_EQ(ctrl.Face().StatusText(), "COM2 19200");

  ASSERT_EQ(Invoke(ctrl, 56, {}, &r), DispatchStatus::kOk);
  EXPECT_TRUE(std::holds_alternative<std::monostate>(r));
  EXPECT_FALSE(ctrl.impl().HasLink());

  // A failed open is a false result, handed back as 0.
  ASSERT_EQ(Invoke(ctrl, 3, {int16_t{9}, int16_t{19200}}, &r), DispatchStatus::kOk);
  EXPECT_EQ(std::get<VariantBool>(r).value, 0);
}

TEST(Dispatch, ResultsKeepTheirTypesWithoutALink) {
  CHalvexCtrl ctrl;
  Variant r;
  ASSERT_EQ(Invoke(ctrl, 6, {}, &r), DispatchStatus::kOk);  // GetDevice
  EXPECT_EQ(std::get<int16_t>(r), -1);
  ASSERT_EQ(Invoke(ctrl, 8, {}, &r), DispatchStatus::kOk);  // GetID
  EXPECT_EQ(std::get<std::string>(r), "Connection Error");
  ASSERT_EQ(Invoke(ctrl, 55, {uint32_t{0x0100007F}, uint16_t{1}}, &r), DispatchStatus::kOk);
  EXPECT_TRUE(std::holds_alternative<uint32_t>(r));

  int16_t buf[4] = {};
  ASSERT_EQ(Invoke(ctrl, 47, {buf, int16_t{4}}, &r), DispatchStatus::kOk);  // GetCOMbuf
  EXPECT_EQ(std::get<VariantBool>(r).value, 0);
  EXPECT_EQ(Invoke(ctrl, 47, {int16_t{0}, int16_t{4}}, &r), DispatchStatus::kTypeMismatch);
  // UI1 argument: 300 does not fit.
  EXPECT_EQ(Invoke(ctrl, 51, {int16_t{300}}, &r), DispatchStatus::kTypeMismatch);

  std::string about;
  ctrl.SetMessageHandler([&](const std::string& t, const std::string&) { about = t; });
  ASSERT_EQ(Invoke(ctrl, -552, {}, &r), DispatchStatus::kOk);
  EXPECT_EQ(about, CHalvexCtrl::AboutText());
}
