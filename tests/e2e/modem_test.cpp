// The modem on a COM port through the real program, against the
// simulator's modem on the line: the AT preparation, the wait for the
// call, the transfer once it is connected, and keep-online.
#include <algorithm>

#include "session_support.h"

namespace e2e {
namespace {

constexpr int COM = 7;
constexpr int MODEM_INTERFACE = 3;
constexpr const char* HANG_UP = "ATH0\r";
constexpr const char* SET_ANSWER = "ATE0S0=1X3\r";
// From "CONNECT" to "READ\r": the modem's report waits for the next poll
// (the animation tick, 1000 ms, plus the poll's 10 ms pause and at most
// 200 ms read), then the pause of 1000 ms.
constexpr double CONNECT_TO_READ_MIN_MS = 1000.0;
constexpr double CONNECT_TO_READ_MAX_MS = 1000.0 + 1000.0 + 210.0 + 150.0;

using termsim::FrontEvent;
using termsim::FrontEventKind;

std::vector<FrontEvent> ModemEvents(const termsim::TerminalSimulator& sim, FrontEventKind kind,
                                    const std::string& prefix = "")
{
    std::vector<FrontEvent> events;
    for (const FrontEvent& event : sim.FrontEvents())
        if (event.kind == kind && event.text.rfind(prefix, 0) == 0) events.push_back(event);
    return events;
}

std::vector<std::string> ModemCommands(const termsim::TerminalSimulator& sim)
{
    std::vector<std::string> texts;
    for (const FrontEvent& event : ModemEvents(sim, FrontEventKind::MODEM_COMMAND)) texts.push_back(event.text);
    return texts;
}

std::vector<int64_t> ReadTimes(const termsim::TerminalSimulator& sim)
{
    std::vector<int64_t> times;
    for (const auto& command : sim.Commands())
        if (command.text == "READ\r") times.push_back(command.timeNs);
    return times;
}

// The line as the modem and the terminal saw it, for a failure message.
std::string LineLog(const termsim::TerminalSimulator& sim)
{
    std::vector<std::pair<int64_t, std::string>> lines;
    for (const FrontEvent& event : sim.FrontEvents())
        lines.emplace_back(event.timeNs, (event.kind == FrontEventKind::MODEM_COMMAND ? "host: " : "modem: ") + event.text);
    for (const auto& command : sim.Commands()) lines.emplace_back(command.timeNs, "terminal got: " + command.text);
    std::sort(lines.begin(), lines.end());
    std::string log;
    for (const auto& [time, text] : lines) {
        log += std::to_string((time - lines.front().first) / 1000000) + " ms " + text;
        if (log.back() == '\r') log.pop_back();
        log += '\n';
    }
    return log;
}

double GapMs(int64_t from, int64_t to)
{
    return static_cast<double>(to - from) / 1e6;
}

CommandLine ModemSession(const std::string& windowsPath, int saveMode)
{
    CommandLine line = SerialSession(COM, windowsPath, saveMode);
    line.interfaceKind = MODEM_INTERFACE;
    return line;
}

class ModemTest : public E2ETest {};

// A modem that echoes commands (until E0), rings twice, then connects.
TEST_F(ModemTest, EchoAndOkPrepareItAndTheTransferStartsASecondAfterConnect)
{
    ComPort port(COM);
    termsim::TerminalSimulator& sim = port.Simulator();
    termsim::ModemOptions modem;
    modem.echo = true;
    modem.rings = 2;
    sim.SetModem(modem);
    ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"m1", "m2"})}));
    Program& program = Launch(ModemSession(WinDir() + "\\modem.txt", 0).Text());
    std::string status;
    EXPECT_TRUE(WaitControlText(SESSION_CAPTION, SESSION_STATUS, "Wait for call...", END_CODE_WAIT_MS, &status))
        << status;
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
    EXPECT_EQ(ReadFile(Dir() + "/modem.txt"), "m1\r\nm2\r\n");

    const std::vector<FrontEvent> commands = ModemEvents(sim, FrontEventKind::MODEM_COMMAND);
    ASSERT_EQ(ModemCommands(sim), (std::vector<std::string>{HANG_UP, SET_ANSWER}));
    // The first command's time limit is the pause before its answer is
    // read; the read then takes up to the port's 100 ms read time-out
    // (Wine waits it out even when the answer is there).
    EXPECT_GE(GapMs(commands[0].timeNs, commands[1].timeNs), 1000.0 - 5.0);
    EXPECT_LE(GapMs(commands[0].timeNs, commands[1].timeNs), 1000.0 + 100.0 + 80.0);
    const std::vector<FrontEvent> connect = ModemEvents(sim, FrontEventKind::MODEM_RESULT, "CONNECT");
    const std::vector<int64_t> reads = ReadTimes(sim);
    ASSERT_EQ(connect.size(), 1u);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_GE(GapMs(connect[0].timeNs, reads[0]), CONNECT_TO_READ_MIN_MS);
    EXPECT_LE(GapMs(connect[0].timeNs, reads[0]), CONNECT_TO_READ_MAX_MS);
}

// The modem's reports come in one burst with the "CONNECT", which arrives
// in two pieces: the poll's reads cut it.
TEST_F(ModemTest, AConnectCutByThePollReadsStillStartsTheTransfer)
{
    const struct {
        const char* name;
        int rings;
        std::string burst;
        std::string connect;
    } rows[] = {
        {"extended result codes", 1, "\r\nCARRIER 33600\r\n\r\nPROTOCOL: LAPM\r\n", "CONNECT 115200"},
        {"rings and the answer together", 0, "\r\nRING\r\n\r\nRING\r\n", "CONNECT 9600"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ComPort port(COM);
        termsim::TerminalSimulator& sim = port.Simulator();
        termsim::ModemOptions modem;
        modem.rings = row.rings;
        modem.connectBurst = row.burst;
        modem.connectText = row.connect;
        modem.connectCutMs = 1500;   // a poll reads the first piece before the rest comes
        sim.SetModem(modem);
        ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"c1"})}));
        Program& program = Launch(ModemSession(WinDir() + "\\cut.txt", 0).Text());
        ASSERT_TRUE(sim.WaitForCommand("READ\r", 1, 8000)) << LineLog(sim);
        ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
        EXPECT_EQ(ReadFile(Dir() + "/cut.txt"), "c1\r\n");
        const std::vector<FrontEvent> connect = ModemEvents(sim, FrontEventKind::MODEM_RESULT, "CONNECT");
        const std::vector<int64_t> reads = ReadTimes(sim);
        ASSERT_EQ(connect.size(), 1u);
        EXPECT_LE(GapMs(connect[0].timeNs, reads[0]), modem.connectCutMs + CONNECT_TO_READ_MAX_MS);
        program.Kill();
    }
}

// Kept online, the carrier is lost after two of three records: the loss is
// told at once (not after the repeats of a time-out), the modem is prepared
// again, and the next call carries the record that was left, while the
// box is still up.
TEST_F(ModemTest, KeptOnlineALostCarrierIsToldAndTheNextCallIsTaken)
{
    ComPort port(COM);
    termsim::TerminalSimulator& sim = port.Simulator();
    termsim::ModemOptions modem;
    modem.ringDelayMs = 300;
    modem.carrierLostAfterAcks = 2;
    sim.SetModem(modem);
    termsim::TransferPlan plan = termsim::PlainTransfer({"n1", "n2", "n3"});
    plan.silentAfterRecords = 2;
    plan.resumeOnRead = true;
    ASSERT_TRUE(Serve(port, {plan}));
    CommandLine line = ModemSession(WinDir() + "\\lost.txt", 4);   // appended, kept online
    line.keepOnline = 1;
    Program& program = Launch(line.Text());
    std::string text;
    ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text)) << LineLog(sim);
    EXPECT_EQ(text, "Connection lost!!");
    const std::vector<FrontEvent> lost = ModemEvents(sim, FrontEventKind::MODEM_RESULT, "NO CARRIER");
    ASSERT_EQ(lost.size(), 1u);
    // Told once the modem waits again (closing, the pause, its two
    // commands), not after the repeats of a time-out.
    EXPECT_LT(GapMs(lost[0].timeNs, NowNs()), 5000.0);
    ASSERT_TRUE(sim.WaitForTransfers(1, END_CODE_WAIT_MS)) << LineLog(sim);
    EXPECT_TRUE(WindowExists(ERROR_CAPTION)) << "the next call ran while the box was up";
    EXPECT_EQ(ReadFile(Dir() + "/lost.txt"), "n1\r\nn2\r\nn3\r\n");
    // The click is taken once the window's thread is free again: the end of
    // that transfer had it close the call and prepare the modem for the next
    // one (some seconds of pauses and commands).
    ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
    ASSERT_TRUE(WaitNoWindow(ERROR_CAPTION, END_CODE_WAIT_MS)) << LineLog(sim);
    std::string more;
    ASSERT_FALSE(WaitBox(ERROR_CAPTION, 1000, &more)) << more << "\n" << LineLog(sim);
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS)) << testing::PrintToString(ListWindows());
    // Nothing went to the modem between the loss and its new preparation.
    const std::vector<std::string> prepared = ModemCommands(sim);
    ASSERT_GE(prepared.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(prepared.begin(), prepared.begin() + 4),
              (std::vector<std::string>{HANG_UP, SET_ANSWER, HANG_UP, SET_ANSWER}));
}

TEST_F(ModemTest, ASilentOrRefusingModemFailsToConfigureAndNoTransferIsAskedFor)
{
    const struct {
        const char* name;
        termsim::ModemAnswer answer;
    } rows[] = {{"silent", termsim::ModemAnswer::SILENT}, {"ERROR", termsim::ModemAnswer::ERROR}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        ComPort port(COM);
        termsim::ModemOptions modem;
        modem.answer = row.answer;
        port.Simulator().SetModem(modem);
        ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"never"})}));
        Program& program = Launch(ModemSession(WinDir() + "\\modem.txt", 0).Text());
        std::string text;
        ASSERT_TRUE(WaitBox(ERROR_CAPTION, END_CODE_WAIT_MS, &text));
        EXPECT_EQ(text, "Failed to configure device!");
        ASSERT_TRUE(PressButton(ERROR_CAPTION, BUTTON_OK));
        ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
        // The first command that fails is the last one sent.
        EXPECT_EQ(ModemCommands(port.Simulator()), (std::vector<std::string>{HANG_UP}));
        EXPECT_EQ(port.Simulator().CountCommands("READ\r"), 0);
    }
}

TEST_F(ModemTest, RingReportsAloneDoNotStartTheTransfer)
{
    ComPort port(COM);
    termsim::TerminalSimulator& sim = port.Simulator();
    termsim::ModemOptions modem;
    modem.rings = 3;
    modem.ringIntervalMs = 600;
    modem.connect = false;
    sim.SetModem(modem);
    ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"never"})}));
    Program& program = Launch(ModemSession(WinDir() + "\\modem.txt", 0).Text());
    ASSERT_TRUE(sim.WaitFor([](const termsim::TerminalSimulator& s) {
        return ModemEvents(s, FrontEventKind::MODEM_RESULT, "RING").size() == 3;
    }, END_CODE_WAIT_MS)) << LineLog(sim);
    // Two animation ticks after the last ring have read every report.
    EXPECT_FALSE(sim.WaitForCommand("READ\r", 1, 2500));
    std::string status;
    EXPECT_TRUE(GetControlText(SESSION_CAPTION, SESSION_STATUS, &status));
    EXPECT_EQ(status, "Wait for call...");
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));
}

// The call comes while the answer to "ATE0S0=1X3\r" is awaited, so its
// "CONNECT" is read with the "OK": it must still start the transfer.
TEST_F(ModemTest, ACallConnectedWithinTheAnswerCommandsTimeLimitIsNotLost)
{
    ComPort port(COM);
    termsim::TerminalSimulator& sim = port.Simulator();
    termsim::ModemOptions modem;
    modem.ringDelayMs = 100;
    modem.answerDelayMs = 100;
    sim.SetModem(modem);
    ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"q1"})}));
    Program& program = Launch(ModemSession(WinDir() + "\\quick.txt", 0).Text());
    ASSERT_TRUE(program.WaitExit(END_CODE_WAIT_MS)) << LineLog(sim);
    EXPECT_EQ(ReadFile(Dir() + "/quick.txt"), "q1\r\n");
    const std::vector<FrontEvent> commands = ModemEvents(sim, FrontEventKind::MODEM_COMMAND);
    const std::vector<FrontEvent> connect = ModemEvents(sim, FrontEventKind::MODEM_RESULT, "CONNECT");
    const std::vector<int64_t> reads = ReadTimes(sim);
    ASSERT_EQ(commands.size(), 2u);
    ASSERT_EQ(connect.size(), 1u);
    ASSERT_EQ(reads.size(), 1u);
    EXPECT_LT(GapMs(commands[1].timeNs, connect[0].timeNs), 1000.0) << "within the command's time limit";
    EXPECT_GE(GapMs(connect[0].timeNs, reads[0]), CONNECT_TO_READ_MIN_MS);
}

TEST_F(ModemTest, KeepOnlinePreparesTheModemAgainForEverySession)
{
    ComPort port(COM);
    termsim::TerminalSimulator& sim = port.Simulator();
    termsim::ModemOptions modem;
    modem.ringDelayMs = 1500;   // the call comes once the program waits for it
    sim.SetModem(modem);
    ASSERT_TRUE(Serve(port, {termsim::PlainTransfer({"k1"}), termsim::PlainTransfer({"k2"})}));
    CommandLine line = ModemSession(WinDir() + "\\online.txt", 4);   // append, kept online
    line.keepOnline = 1;
    Program& program = Launch(line.Text());
    ASSERT_TRUE(sim.WaitForTransfers(2, 2 * END_CODE_WAIT_MS)) << LineLog(sim);
    EXPECT_EQ(ReadFile(Dir() + "/online.txt"), "k1\r\nk2\r\n");
    ASSERT_TRUE(PressButton(SESSION_CAPTION, BUTTON_ABORT));
    EXPECT_TRUE(program.WaitExit(END_CODE_WAIT_MS));

    const std::vector<std::string> prepared = ModemCommands(sim);
    ASSERT_GE(prepared.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(prepared.begin(), prepared.begin() + 4),
              (std::vector<std::string>{HANG_UP, SET_ANSWER, HANG_UP, SET_ANSWER}));
    // From the first "OVER\r" to the next preparation: the port closed and
    // the 500 ms pause after it, the 1000 ms pause before the new session,
    // the port's opening.
    int64_t firstOver = 0;
    for (const auto& chunk : sim.Sent())
        if (!firstOver && chunk.bytes.find("OVER\r") != std::string::npos) firstOver = chunk.timeNs;
    const std::vector<FrontEvent> commands = ModemEvents(sim, FrontEventKind::MODEM_COMMAND);
    EXPECT_NEAR(GapMs(firstOver, commands[2].timeNs), 1600.0 + 400.0, 420.0);
    // Each session waits for its own "CONNECT".
    const std::vector<FrontEvent> connect = ModemEvents(sim, FrontEventKind::MODEM_RESULT, "CONNECT");
    const std::vector<int64_t> reads = ReadTimes(sim);
    ASSERT_GE(connect.size(), 2u);
    ASSERT_GE(reads.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_GE(GapMs(connect[i].timeNs, reads[i]), CONNECT_TO_READ_MIN_MS) << "session " << i;
        EXPECT_LE(GapMs(connect[i].timeNs, reads[i]), CONNECT_TO_READ_MAX_MS) << "session " << i;
    }
}

}  // namespace
}  // namespace e2e
