// The harness end to end: the real program under Wine reports a bad output
// location in a box that the test reads and answers. (Simulated transfers
// into files are proven by the session tests.)
#include "session_support.h"

namespace e2e {
namespace {

class HarnessTest : public E2ETest {};

TEST_F(HarnessTest, InvalidFileNameIsReportedAndTheProgramEnds)
{
    Program& program = Launch(SerialSession(5, WinDir() + "\\scan?.txt", 0).Text());
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
    EXPECT_EQ(text, "Invalid file name or path!!");
    EXPECT_TRUE(program.Running()) << "the box holds the program until answered";
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    EXPECT_TRUE(program.WaitExit(10000));
}

}  // namespace
}  // namespace e2e
