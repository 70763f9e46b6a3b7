// The settings dialog's field decisions: clamps and forbidden characters.
#include "app/settings_dialog_fields.h"
#include "app/settings_dialog_rules.h"

#include <gtest/gtest.h>

#include <set>

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

TEST(EnableRules, EveryControlHasOneRuleAndFixedControlsHaveNone)
{
    std::set<int> ids;
    for (const EnableRule& rule : ENABLE_RULES) EXPECT_TRUE(ids.insert(rule.controlId).second) << rule.controlId;
    EXPECT_EQ(21u, ids.size());
    for (int fixed : {IDC_INTERFACE, IDC_SAVE_MODE, IDC_ADD_RETURN, IDC_SHOW_ERRORS, IDC_ALWAYS_SHOW,
                      IDC_COM_PORT_SPIN, IDC_POLLING_SPIN, 1, 2})
        EXPECT_EQ(0u, ids.count(fixed)) << fixed;
}

TEST(EnableRules, ViewIsOfferedOnlyForOneFileWithoutPolling)
{
    EXPECT_TRUE(RuleHolds(EnableWhen::VIEW_OFFERED, RS232_IRDA, OVERWRITE, false));
    EXPECT_TRUE(RuleHolds(EnableWhen::VIEW_OFFERED, RS232_IRDA, APPEND, false));
    EXPECT_FALSE(RuleHolds(EnableWhen::VIEW_OFFERED, RS232_IRDA, OVERWRITE, true));
    for (SaveMode mode : {KEYBOARD_EMULATION, AUTO_FILE_NAME, AUTO_APPEND})
        EXPECT_FALSE(RuleHolds(EnableWhen::VIEW_OFFERED, RS232_IRDA, mode, false)) << mode;
    EXPECT_TRUE(RuleHolds(EnableWhen::WRITES_NAMED_FILE, MODEM_TAPI, AUTO_APPEND, false));
    EXPECT_FALSE(RuleHolds(EnableWhen::WRITES_NAMED_FILE, MODEM_TAPI, AUTO_FILE_NAME, false));
}
