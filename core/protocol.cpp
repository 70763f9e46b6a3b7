// The record protocol: what the host does with each line from the terminal,
// and what it does when the terminal stays silent.
#include "core/protocol.h"

#include <cstring>

#include "core/settings.h"
#include "errors/error_codes.h"

namespace {

unsigned NoSend(const char*, unsigned, int) { return 0; }
const char* NoLastCommand() { return ""; }
void Nothing() {}
int NoOutput() { return ERR_FILE_CREATE; }
bool NoWrite(const uint8_t*, int) { return false; }
int NoType(const uint8_t*, int) { return ERR_THREAD_CREATE; }
void NoElapse(unsigned) {}
void NoText(const char*) {}
void NoCount(int) {}

constexpr char ACK_TEXT[] = "ACK\r";
constexpr char NAK_TEXT[] = "NAK\r";
constexpr int ANSWER_LENGTH = 4;
constexpr int RETRY_LIMIT = 5;        // more repetitions than this end the session
constexpr int RECORD_OVERHEAD = 4;    // sequence, two checksum bytes, CR
constexpr uint8_t CR = 0x0D;
constexpr uint8_t LF = 0x0A;
constexpr uint8_t CR_STAND_IN = 0x0E;  // a checksum byte of 13 travels as 14
constexpr uint8_t LAST_SEQUENCE = 9;

// One step's world: the session it changes, what it reads, what it does.
struct Step {
    SessionState& session;
    const RecordOptions& options;
    const ProtocolIo& io;
};

// A line that starts with a sequence value is a record, whatever its last
// bytes spell: data and checksum bytes may well read "OV" "ER" or "AC" "K".
// Only other lines can be the terminal's answers.
bool IsRecordLine(const uint8_t* line)
{
    return line[0] <= LAST_SEQUENCE;
}

// Whether the line, read as a text that ends at its first zero byte (and
// never beyond its length), contains the given answer. Noise before an
// answer does no harm.
bool LineContains(const uint8_t* line, int length, const char* answer)
{
    const size_t answerLength = std::strlen(answer);
    size_t textLength = 0;
    while (textLength < static_cast<size_t>(length) && line[textLength] != 0) ++textLength;
    for (size_t start = 0; start + answerLength <= textLength; ++start) {
        if (std::memcmp(line + start, answer, answerLength) == 0) return true;
    }
    return false;
}

uint8_t WireChecksumByte(unsigned value)
{
    const uint8_t byte = static_cast<uint8_t>(value & 0xFF);
    return byte == CR ? CR_STAND_IN : byte;
}

// Sequence value and checksum of a record line of at least four bytes.
bool RecordIsValid(const SessionState& session, const uint8_t* line, int length)
{
    if (line[0] != session.expectedSequence) return false;
    uint16_t sum = 0;
    for (int i = 0; i <= length - RECORD_OVERHEAD; ++i) sum = static_cast<uint16_t>(sum + line[i]);
    return line[length - 3] == WireChecksumByte(sum) && line[length - 2] == WireChecksumByte(sum >> 8u);
}

// A repetition of the last accepted record (the terminal did not get our
// "ACK\r") is the whole line again: same length, same bytes. A line that only
// begins like it lost its tail on the way and must be sent again. Before the
// first record of a session there is nothing to repeat.
bool IsRepetition(const SessionState& session, const uint8_t* line, int length)
{
    if (session.receivedCount == 0 || length - 1 != session.previousLength) return false;
    return std::memcmp(line, session.previousRecord, static_cast<size_t>(length - 1)) == 0;
}

int Answer(const Step& step, const char* answer)
{
    ++step.session.answersSent;
    ++step.session.linesAnswered;
    return step.io.sendCommand(answer, ANSWER_REPLY_TIME, ANSWER_LENGTH) ? 1 : ERR_PORT_WRITE;
}

// The terminal pairs each answer it reads with its oldest line still
// waiting, so a line it wrote once must get one answer, not two: a second
// one leaves it an answer behind, taking the "ACK\r" of one line for the
// next, refused one. Two kinds of bad line are the rest of a line that has
// had its answer, and get none of their own:
// - a line that began in the same read after a line we answered and does not
//   begin with a sequence value: noise turned a byte of that line into a CR
//   (a line that begins like a record is a terminal that did not wait for our
//   answer, and is answered as usual);
// - what follows of a line that was under way when we answered it (the reply
//   time ran out, or a typed record was acknowledged), whatever its first byte.
// Should the terminal still wait for an answer, the reply time runs out and
// our "NAK\r" comes.
int SkipRestOfAnsweredLine(const Step& step)
{
    ClearLine(step.session);
    step.io.armReplyTimer(ANSWER_REPLY_TIME);
    return 1;
}

// Our answer went out while the terminal was still writing a line: the line's
// rest is no reply to it either.
void MarkLineUnderWay(SessionState& session, bool underWay)
{
    if (underWay) session.lineHeadDropped = true;
}

// A terminal that starts over on "READ\r" writes "ACK\r" and its first
// record (or two records in one go) and then reads what we sent. It reads
// our lines in order, and we never send "READ\r" after an answer, so it has
// read every "READ\r" it holds, and started over on each, before it reads
// any answer: every answer we have sent goes to the lines of its last start,
// in order. The "READ\r" it holds need not all be ours: one sent before the
// link was lost, or by a program that was killed, starts it over as well. So
// any "ACK\r" that comes before the terminal can have read us is such a
// start, however many "READ\r" this session sent: it has not written more
// than it can before reading us. Should it be noise after all, the terminal
// is owed an answer we take for given, and our reply time-out's "NAK\r"
// brings the line again: a delay, never a loss. A terminal that ignores
// "READ\r" while it sends makes one start; its lines are answered as they
// come.
constexpr uint32_t LINES_BEFORE_READING = 2;

bool MayStartOver(const SessionState& s)
{
    return s.linesThisStart <= LINES_BEFORE_READING;
}

void TakeStart(SessionState& s)
{
    if (s.startsTaken > 0) {
        if (!MayStartOver(s)) return;   // noise that spelt "ACK\r", no start
        s.answersAhead = s.answersSent;
    }
    ++s.startsTaken;
    s.linesThisStart = 0;
}

// The line has its answer already: one we sent to a line of an earlier start.
int TakeEarlierAnswer(const Step& step)
{
    --step.session.answersAhead;
    ++step.session.linesAnswered;
    ClearLine(step.session);
    step.io.armReplyTimer(ANSWER_REPLY_TIME);
    return 1;
}

int StartTransfer(const Step& step)
{
    TakeStart(step.session);
    step.io.showConnected();
    if (!step.options.typeRecords) {
        const int opened = step.io.openOutput();
        if (opened < 0) return opened;
    }
    step.io.showStatus("Receiving Data");
    step.io.armReplyTimer(ANSWER_REPLY_TIME);
    ClearLine(step.session);
    return 1;
}

// The delivered record counts from here on, and the terminal is told so.
int CountAndAcknowledge(const Step& step)
{
    SessionState& s = step.session;
    ++s.receivedCount;
    s.retryCount = 0;
    s.expectedSequence = static_cast<uint8_t>((s.expectedSequence + 1) % 10);
    step.io.showCount(s.receivedCount);
    const int answered = Answer(step, ACK_TEXT);
    if (answered < 0) return answered;
    ClearLine(s);
    return 1;
}

int AcceptRecord(const Step& step, uint8_t* line, int length)
{
    SessionState& s = step.session;
    std::memcpy(s.previousRecord, line, static_cast<size_t>(length - 1));
    s.previousRecord[length - 1] = 0;
    s.previousLength = length - 1;

    // The output is built in place: the data bytes stay where they are and
    // the optional CR and LF go over the checksum bytes.
    uint8_t* output = line + 1;
    int count = length - RECORD_OVERHEAD;
    if (step.options.addReturn) output[count++] = CR;
    if (step.options.addLineFeed) output[count++] = LF;
    output[count] = 0;
    s.lineLength = count;

    if (count > 0) {
        if (step.options.typeRecords) {
            // Typing takes as long as the user's delays make it; the answer
            // waits for its end, the window does not.
            const int started = step.io.startTyping(output, count);
            if (started < 0) return started;
            s.typingRecord = true;
            ClearLine(s);
            return 1;
        }
        if (!step.io.writeOutput(output, count)) return ERR_FILE_WRITE;
    }
    return CountAndAcknowledge(step);
}

// A refusal counts towards the retry limit. It is answered "NAK\r", unless
// the terminal is owed no answer; then only the reply time runs again.
int RefuseRecord(const Step& step, bool answered = true)
{
    ClearLine(step.session);
    if (step.session.retryCount > RETRY_LIMIT) return ERR_TIMEOUT;
    if (answered) {
        const int sent = Answer(step, NAK_TEXT);
        if (sent < 0) return sent;
    } else {
        step.io.armReplyTimer(ANSWER_REPLY_TIME);
    }
    ++step.session.retryCount;
    return 1;
}

int HandleRecord(const Step& step, uint8_t* line, int length, bool restOfAnsweredLine)
{
    // Until the terminal has started, any line of it that is not an answer
    // was written before it read our "READ\r": a line left over from before
    // the program or the link was lost, or its first record after an
    // "ACK\r" that noise made unreadable. The terminal starts over on
    // "READ\r" and drops what it was waiting for, so an answer to such a
    // line would be taken for the answer to the first record of the new
    // transfer, and every later answer for the next line's, which loses a
    // record. When nothing else follows, "READ\r" goes out again.
    if (step.session.startsTaken == 0) return RefuseRecord(step, false);
    line[length] = 0;
    const bool repetition = IsRepetition(step.session, line, length);
    // A line too short to hold a sequence value and a checksum (a CR alone
    // among them) is refused like a bad checksum.
    const bool valid = length >= RECORD_OVERHEAD && RecordIsValid(step.session, line, length);
    if (!repetition && !valid && restOfAnsweredLine) return SkipRestOfAnsweredLine(step);
    ++step.session.linesThisStart;
    if (step.session.answersAhead > 0) return TakeEarlierAnswer(step);
    if (repetition) {
        ClearLine(step.session);
        return Answer(step, ACK_TEXT);
    }
    if (!valid) return RefuseRecord(step);
    return AcceptRecord(step, line, length);
}

// The reply time-out reads no options.
constexpr RecordOptions NO_OPTIONS{};

}  // namespace

const ProtocolIo NO_PROTOCOL_IO = {
    .sendCommand = NoSend,
    .lastCommand = NoLastCommand,
    .clearLastCommand = Nothing,
    .openOutput = NoOutput,
    .writeOutput = NoWrite,
    .startTyping = NoType,
    .stopReplyTimer = Nothing,
    .armReplyTimer = NoElapse,
    .showConnected = Nothing,
    .showStatus = NoText,
    .showCount = NoCount,
    .stopReceiving = Nothing,
};

const ProtocolIo* protocolIo = &NO_PROTOCOL_IO;

RecordOptions CurrentRecordOptions()
{
    return RecordOptions{
        .typeRecords = settings.saveMode == KEYBOARD_EMULATION,
        .addReturn = settings.addReturn != 0,
        .addLineFeed = settings.addLineFeed != 0,
    };
}

void ResetSessionState(SessionState& session, const ProtocolIo& io)
{
    std::memset(session.previousRecord, 0, sizeof session.previousRecord);
    session.previousLength = 0;
    session.typingRecord = false;
    session.startsTaken = 0;
    session.answersSent = 0;
    session.answersAhead = 0;
    session.linesThisStart = 0;
    session.linesAnswered = 0;
    ClearLine(session);
    io.clearLastCommand();
    session.retryCount = 0;
    session.receivedCount = 0;
    session.expectedSequence = 0;
}

int StepLine(SessionState& session, const RecordOptions& options, const ProtocolIo& io, uint8_t* line, int length)
{
    const Step step{session, options, io};
    io.stopReplyTimer();
    const bool outranAnswer = session.lineOutranAnswer, headDropped = session.lineHeadDropped;
    // The terminal waits for the answer to the record being typed; whatever
    // comes meanwhile is noise, and the record's answer follows its typing.
    if (session.typingRecord) {
        ClearLine(session);
        return 1;
    }
    if (line == nullptr || length < 1 || length > LINE_CAPACITY) return RefuseRecord(step);

    if (IsRecordLine(line)) return HandleRecord(step, line, length, headDropped);
    // The terminal's own lines get no answer, so they are taken wherever
    // they come (its "OVER\r" in one write with its last record).
    if (LineContains(line, length, ACK_TEXT)) return StartTransfer(step);
    if (LineContains(line, length, NAK_TEXT)) {
        ClearLine(session);
        io.armReplyTimer(ANSWER_REPLY_TIME);
        return 1;
    }
    if (LineContains(line, length, OVER_TEXT)) {
        io.stopReceiving();
        io.showStatus("Completed!!");
        return 0;
    }
    return HandleRecord(step, line, length, outranAnswer || headDropped);
}

int StepTypedRecord(SessionState& session, const ProtocolIo& io)
{
    if (!session.typingRecord) return 1;
    session.typingRecord = false;
    const bool underWay = session.lineLength > 0;
    const int result = CountAndAcknowledge(Step{session, NO_OPTIONS, io});
    MarkLineUnderWay(session, underWay);
    return result;
}

int StepReplyTimeout(SessionState& session, const ProtocolIo& io, unsigned pollInterval, bool keepOnline)
{
    // No answer is owed while a record is still being typed.
    if (session.typingRecord) return 1;
    const char* last = io.lastCommand();
    if (std::strcmp(last, READ_COMMAND) == 0) {
        if (session.retryCount > RETRY_LIMIT) return ERR_TIMEOUT;
        // The terminal starts over on "READ\r": a line it left unfinished
        // (its CR lost on the way) would otherwise be glued to the front of
        // its "ACK\r", which then reads as a bad record and is refused.
        ClearLine(session);
        if (!io.sendCommand(READ_COMMAND, pollInterval, sizeof READ_COMMAND - 1)) return ERR_PORT_WRITE;
        if (!keepOnline) ++session.retryCount;
        return 1;
    }
    // The terminal did not follow our "ACK\r" or "NAK\r": drop what came of
    // the line and ask for the record again, as for a refused one. If the
    // terminal was only slow and is still writing its reply, this "NAK\r"
    // answers that line and its rest gets none. A line begun before the
    // terminal could read our last answer is no such reply: the "NAK\r" goes
    // to an earlier line of the terminal's, and this one's rest is answered.
    const bool replyUnderWay = session.lineLength > 0 && !session.lineOutranAnswer;
    const int result = RefuseRecord(Step{session, NO_OPTIONS, io});
    MarkLineUnderWay(session, replyUnderWay);
    return result;
}

void ResetSession()
{
    ResetSessionState(sessionState, *protocolIo);
}

int HandleLine(uint8_t* line, int length)
{
    return StepLine(sessionState, CurrentRecordOptions(), *protocolIo, line, length);
}

int FinishTypedRecord()
{
    return StepTypedRecord(sessionState, *protocolIo);
}

int HandleReplyTimeout(unsigned pollInterval, bool keepOnline)
{
    return StepReplyTimeout(sessionState, *protocolIo, pollInterval, keepOnline);
}
