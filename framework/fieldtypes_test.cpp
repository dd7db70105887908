// The field type and dataset state enumerations keep their ordinals: callers
// compare and store them as numbers ("every type after ftWideMemo").
#include "fieldtypes.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(FieldTypes, OrdinalsAndNamesStayFixed) {
  EXPECT_EQ(ftUnknown, 0);
  EXPECT_EQ(ftString, 1);
  EXPECT_EQ(ftBCD, 8);
  EXPECT_EQ(ftVarBytes, 13);
  EXPECT_EQ(ftBlob, 15);
  EXPECT_EQ(ftWideString, 24);
  EXPECT_EQ(ftLargeint, 25);
  EXPECT_EQ(ftTimeStamp, 36);
  EXPECT_EQ(ftFMTBcd, 37);
  EXPECT_EQ(ftWideMemo, 39);
  EXPECT_GT(ftLastFieldType, ftWideMemo);

  EXPECT_STREQ(FieldTypeName(ftUnknown), "Unknown");
  EXPECT_STREQ(FieldTypeName(ftFMTBcd), "FMTBcd");
  EXPECT_STREQ(FieldTypeName(ftWideMemo), "WideMemo");
  EXPECT_STREQ(FieldTypeName(ftLastFieldType), "Single");
  EXPECT_STREQ(FieldTypeName(static_cast<TFieldType>(ftLastFieldType + 1)), "Unknown");
}

TEST(FieldTypes, DataSetStatesInOrder) {
  EXPECT_EQ(dsInactive, 0);
  EXPECT_EQ(dsSetKey, 4);
  EXPECT_EQ(dsOldValue, 8);
  EXPECT_EQ(dsOpening, 12);
}

}  // namespace
