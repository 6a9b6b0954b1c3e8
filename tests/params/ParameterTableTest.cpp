#include <gtest/gtest.h>

#include <set>

#include "params/DecimalValue.h"
#include "params/ParameterTable.h"

namespace qelta {
namespace {

TEST(ParameterTable, HoldsTheSeventyFiveUniqueNamesInOrder) {
  const auto table = ParameterTable();
  ASSERT_EQ(table.size(), 75u);
  std::set<std::string_view> names;
  for (const ParamDef& def : table) names.insert(def.name);
  EXPECT_EQ(names.size(), 75u);
  EXPECT_EQ(table.front().name, "CUSTOMER_PARAM_NAME");
  EXPECT_EQ(table[20].name, "USE_WAIT_TABLE");
  EXPECT_EQ(table.back().name, "F10SEND");
}

TEST(ParameterTable, EveryRangeHasItsWarningAndADefaultInsideIt) {
  for (const ParamDef& def : ParameterTable()) {
    if (!def.high) continue;
    EXPECT_FALSE(def.warnings.empty()) << def.name;
    EXPECT_LE(def.defaultValue, *def.high) << def.name;
    EXPECT_GE(def.defaultValue, def.low.value_or(0)) << def.name;
  }
}

TEST(ParameterTable, LookupIsExactAndCaseSensitive) {
  EXPECT_NE(FindParameter("LCD_CONTRAST"), nullptr);
  EXPECT_EQ(FindParameter("lcd_contrast"), nullptr);
  EXPECT_EQ(FindParameter("LCD_CONTRAST "), nullptr);
  EXPECT_EQ(FindParameter("WAIT_8"), nullptr);
  EXPECT_EQ(FindParameter(""), nullptr);
}

TEST(DecimalValue, ConvertsLikeTheFilesExpect) {
  EXPECT_EQ(ParseDecimal("150"), 150);
  EXPECT_EQ(ParseDecimal("  \t-5"), -5);
  EXPECT_EQ(ParseDecimal("+7abc"), 7);
  EXPECT_EQ(ParseDecimal("12 34"), 12);
  EXPECT_EQ(ParseDecimal("abc"), 0);
  EXPECT_EQ(ParseDecimal(""), 0);
  EXPECT_EQ(ParseDecimal("-"), 0);
  EXPECT_EQ(ParseDecimal("5\n"), 5);
  EXPECT_EQ(ParseDecimal("99999999999999999999"), 2147483647);
  EXPECT_EQ(ParseDecimal("-99999999999999999999"), -2147483647 - 1);
  EXPECT_EQ(CutTo16(70000), 4464);
  EXPECT_EQ(CutTo16(-5), -5);
}

}  // namespace
}  // namespace qelta
