// The settings dialog's field decisions: clamps and forbidden characters.
#include "app/settings_dialog_fields.h"

#include <gtest/gtest.h>


TEST(ClampCountField, RaisesZeroLowersOverflowAndDropsLeadingZeros)
{
    EXPECT_EQ(1, ClampCountField("0", true, 0, COM_PORT_MAXIMUM));
    EXPECT_EQ(1, ClampCountField("00", true, 0, COM_PORT_MAXIMUM));
    EXPECT_EQ(255, ClampCountField("300", true, 300, COM_PORT_MAXIMUM));
    EXPECT_EQ(255, ClampCountField("256", true, 256, COM_PORT_MAXIMUM));
    EXPECT_EQ(LEAVE_FIELD, ClampCountField("255", true, 255, COM_PORT_MAXIMUM));
    EXPECT_EQ(7, ClampCountField("07", true, 7, COM_PORT_MAXIMUM));
    EXPECT_EQ(9, ClampCountField("009", true, 9, POLLING_TIME_MAXIMUM));
    EXPECT_EQ(LEAVE_FIELD, ClampCountField("7", true, 7, COM_PORT_MAXIMUM));
    EXPECT_EQ(LEAVE_FIELD, ClampCountField("999", true, 999, POLLING_TIME_MAXIMUM));
    EXPECT_EQ(LEAVE_FIELD, ClampCountField("70", true, 70, COM_PORT_MAXIMUM));
}

TEST(ClampCountField, LeavesAFieldWithoutNumberForTheFocusCheck)
{
    EXPECT_EQ(LEAVE_FIELD, ClampCountField("", false, 0, COM_PORT_MAXIMUM));
    EXPECT_EQ(LEAVE_FIELD, ClampCountField("0x", false, 0, POLLING_TIME_MAXIMUM));
}

TEST(ClampDelayField, EmptyIsZeroAndAbove255Is255)
{
    EXPECT_EQ(0, ClampDelayField(false, 0));
    EXPECT_EQ(255, ClampDelayField(true, 300));
    EXPECT_EQ(255, ClampDelayField(true, 256));
    EXPECT_EQ(LEAVE_FIELD, ClampDelayField(true, 255));
    EXPECT_EQ(LEAVE_FIELD, ClampDelayField(true, 0));
}

TEST(ForbiddenCharacters, DirectoryAllowsBackslashAndColonFileNameDoesNot)
{
    EXPECT_FALSE(HoldsAnyOf("C:\\Data\\Sub dir", DIRECTORY_FORBIDDEN));
    for (const char* bad : {"a\"b", "a/b", "a*b", "a?b", "a<b", "a>b", "a|b"}) {
        EXPECT_TRUE(HoldsAnyOf(bad, DIRECTORY_FORBIDDEN)) << bad;
        EXPECT_TRUE(HoldsAnyOf(bad, FILE_NAME_FORBIDDEN)) << bad;
    }
    EXPECT_TRUE(HoldsAnyOf("a:b", FILE_NAME_FORBIDDEN));
    EXPECT_TRUE(HoldsAnyOf("a\\b", FILE_NAME_FORBIDDEN));
    EXPECT_FALSE(HoldsAnyOf("scan.txt", FILE_NAME_FORBIDDEN));
    EXPECT_FALSE(HoldsAnyOf("", FILE_NAME_FORBIDDEN));
}
