// The names the value backup and the expression store give saved values, and the backup file's type names.
#include <gtest/gtest.h>

#include "ConfigurationImport/ExpressionPreservation.hpp"
#include "ConfigurationImport/GroupRemoval.hpp"
#include "ValueBackup/ValueBackupFile.hpp"

using namespace Quillmere;

TEST(BackupName, TheNameAsItStandsInUtf8)
{
    EXPECT_EQ(BackupName(GS::UniString("Fläche")), "Fl\xC3\xA4" "che");
}

TEST(BackupFileTables, ValueAndMeasureTypeNames)
{
    EXPECT_STREQ(ValueTypeName(0), "Undefined");
    EXPECT_STREQ(ValueTypeName(1), "Integer");
    EXPECT_STREQ(ValueTypeName(2), "Real");
    EXPECT_STREQ(ValueTypeName(3), "String");
    EXPECT_STREQ(ValueTypeName(4), "Boolean");
    EXPECT_STREQ(ValueTypeName(5), "");
    EXPECT_STREQ(ValueTypeName(-1), "");
    EXPECT_STREQ(MeasureTypeName(0), "");
    EXPECT_STREQ(MeasureTypeName(1), "Default");
    EXPECT_STREQ(MeasureTypeName(2), "Length");
    EXPECT_STREQ(MeasureTypeName(3), "Area");
    EXPECT_STREQ(MeasureTypeName(4), "Volume");
    EXPECT_STREQ(MeasureTypeName(5), "Angle");
    EXPECT_STREQ(MeasureTypeName(6), "");
}
