// What the port's receive queue holds when the program writes or starts
// reading: bytes the terminal has already sent for this session are kept,
// bytes left from before the session are not.
#include <unistd.h>

#include "session_support.h"
#include "tools/termsim/record_encoding.h"

namespace e2e {
namespace {

class ReceiveQueueTest : public E2ETest {};

constexpr int COM = 6;
constexpr int BAUD_INDEX_9600 = 4;

// A terminal that writes its next line before it reads our answer: at
// 9600 bit/s the next line is still arriving, a byte a millisecond, while
// the program answers the one before. Four such pairs; the answer to each
// first line must not cost the second line a byte (it would fail its
// checksum and draw a NAK).
TEST_F(ReceiveQueueTest, AnAnswerKeepsTheBytesOfTheNextLineAlreadyArriving)
{
    std::vector<std::string> records;
    for (char tag = 'a'; tag < 'i'; ++tag) records.push_back(std::string(24, tag));
    termsim::TransferPlan plan = termsim::PlainTransfer(records);
    for (size_t i = 0; i < records.size(); i += 2) plan.records[i].joinWithNext = true;
    ComPort port(COM);
    port.Simulator().SetLinePacing(true);
    ASSERT_TRUE(Serve(port, {plan}));
    CommandLine line = SerialSession(COM, WinDir() + "\\joined.txt", 0);
    line.baudIndex = BAUD_INDEX_9600;
    line.addLineFeed = 0;
    int code = -1;
    ASSERT_TRUE(Launch(line.Text()).WaitExit(END_CODE_WAIT_MS, &code));

    std::string expected;
    for (const std::string& record : records) expected += record + "\r";
    EXPECT_EQ(ReadFile(Dir() + "/joined.txt"), expected);
    std::vector<std::string> answers(records.size(), "ACK\r");
    answers.insert(answers.begin(), "READ\r");
    EXPECT_EQ(CommandTexts(port.Simulator()), answers) << "every line answered once, none refused";
}

// Bytes that wait in the port from before the session (a previous
// session's tail: the terminal's ACK and a record) are dropped when the
// receive thread starts; they would pass for the answer to our READ and
// its first record.
TEST_F(ReceiveQueueTest, BytesWaitingBeforeTheSessionNeverReachTheProtocol)
{
    ComPort port(COM);
    const std::string stale = "ACK\r" + termsim::EncodeRecordLine(0, "stale");
    ASSERT_EQ(write(port.MasterFd(), stale.data(), stale.size()), static_cast<ssize_t>(stale.size()));
    ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"fresh"})}));
    int code = -1;
    ASSERT_TRUE(Launch(SerialSession(COM, WinDir() + "\\fresh.txt", 0).Text()).WaitExit(END_CODE_WAIT_MS, &code));
    EXPECT_EQ(ReadFile(Dir() + "/fresh.txt"), "fresh\r\n");
    EXPECT_EQ(CommandTexts(port.Simulator()), (std::vector<std::string>{"READ\r", "ACK\r"}));
}

}  // namespace
}  // namespace e2e
