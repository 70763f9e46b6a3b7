// The record protocol: what the host does with each line from the terminal,
// and what it does when the terminal stays silent.
#include "session/protocol.h"

#include <cstring>

#include "app/settings.h"
#include "errors/error_codes.h"
#include "session/session_state.h"

namespace {

// Until the platform side installs its own, a session has no port and no
// output: commands and writes fail, so nothing is mistaken for delivered.
unsigned NoSend(const char*, unsigned, int) { return 0; }
const char* NoLastCommand() { return ""; }
void Nothing() {}
int NoOutput() { return ERR_FILE_CREATE; }
bool NoWrite(const uint8_t*, int) { return false; }
int NoType(const uint8_t*, int) { return ERR_THREAD_CREATE; }
void NoElapse(unsigned) {}
void NoText(const char*) {}
void NoCount(int) {}

constexpr char READ_COMMAND[] = "READ\r";
constexpr char ACK_TEXT[] = "ACK\r";
constexpr char NAK_TEXT[] = "NAK\r";
constexpr char OVER_TEXT[] = "OVER\r";
constexpr int ANSWER_LENGTH = 4;
constexpr int RETRY_LIMIT = 5;        // more repetitions than this end the session
constexpr int RECORD_OVERHEAD = 4;    // sequence, two checksum bytes, CR
constexpr uint8_t CR = 0x0D;
constexpr uint8_t LF = 0x0A;
constexpr uint8_t CR_STAND_IN = 0x0E;  // a checksum byte of 13 travels as 14
constexpr uint8_t LAST_SEQUENCE = 9;

// A line that starts with a sequence value is a record, whatever its last
// bytes spell: data and checksum bytes may well read "OV" "ER" or "AC" "K".
// Only other lines can be the terminal's answers.
bool IsRecordLine(const uint8_t* line)
{
    return line[0] <= LAST_SEQUENCE;
}

// Whether the line, read as a text that ends at its first zero byte (and
// never beyond its length), contains the given answer.
bool LineContains(const uint8_t* line, int length, const char* answer)
{
    const int answerLength = static_cast<int>(std::strlen(answer));
    int textLength = 0;
    while (textLength < length && line[textLength] != 0) ++textLength;
    for (int start = 0; start + answerLength <= textLength; ++start) {
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
bool RecordIsValid(const uint8_t* line, int length)
{
    if (line[0] != sessionState.expectedSequence) return false;
    uint16_t sum = 0;
    for (int i = 0; i <= length - RECORD_OVERHEAD; ++i) sum = static_cast<uint16_t>(sum + line[i]);
    return line[length - 3] == WireChecksumByte(sum) && line[length - 2] == WireChecksumByte(sum >> 8);
}

// A repetition of the last accepted record (the terminal did not get our
// "ACK\r") is the whole line again: same length, same bytes. A line that only
// begins like it lost its tail on the way and must be sent again. Before the
// first record of a session there is nothing to repeat.
bool IsRepetition(const uint8_t* line, int length)
{
    const SessionState& s = sessionState;
    if (s.receivedCount == 0 || length - 1 != s.previousLength) return false;
    return std::memcmp(line, s.previousRecord, static_cast<size_t>(length - 1)) == 0;
}

int Answer(const char* answer)
{
    return protocolIo.sendCommand(answer, ANSWER_REPLY_TIME, ANSWER_LENGTH) ? 1 : ERR_PORT_WRITE;
}

int StartTransfer()
{
    protocolIo.showConnected();
    if (settings.saveMode != KEYBOARD_EMULATION) {
        const int opened = protocolIo.openOutput();
        if (opened < 0) return opened;
    }
    protocolIo.showStatus("Receiving Data");
    protocolIo.armReplyTimer(ANSWER_REPLY_TIME);
    ClearLine();
    return 1;
}

// The delivered record counts from here on, and the terminal is told so.
int CountAndAcknowledge()
{
    SessionState& s = sessionState;
    ++s.receivedCount;
    s.retryCount = 0;
    s.expectedSequence = static_cast<uint8_t>((s.expectedSequence + 1) % 10);
    protocolIo.showCount(s.receivedCount);
    const int answered = Answer(ACK_TEXT);
    if (answered < 0) return answered;
    ClearLine();
    return 1;
}

int AcceptRecord(uint8_t* line, int length)
{
    SessionState& s = sessionState;
    std::memcpy(s.previousRecord, line, static_cast<size_t>(length - 1));
    s.previousRecord[length - 1] = 0;
    s.previousLength = length - 1;

    // The output is built in place: the data bytes stay where they are and
    // the optional CR and LF go over the checksum bytes.
    uint8_t* output = line + 1;
    int count = length - RECORD_OVERHEAD;
    if (settings.addReturn) output[count++] = CR;
    if (settings.addLineFeed) output[count++] = LF;
    output[count] = 0;
    s.lineLength = count;

    if (count > 0) {
        if (settings.saveMode == KEYBOARD_EMULATION) {
            // Typing takes as long as the user's delays make it; the answer
            // waits for its end, the window does not.
            const int started = protocolIo.startTyping(output, count);
            if (started < 0) return started;
            s.typingRecord = true;
            ClearLine();
            return 1;
        }
        if (!protocolIo.writeOutput(output, count)) return ERR_FILE_WRITE;
    }
    return CountAndAcknowledge();
}

int RefuseRecord()
{
    ClearLine();
    if (sessionState.retryCount > RETRY_LIMIT) return ERR_TIMEOUT;
    const int answered = Answer(NAK_TEXT);
    if (answered < 0) return answered;
    ++sessionState.retryCount;
    return 1;
}

int HandleRecord(uint8_t* line, int length)
{
    line[length] = 0;
    if (IsRepetition(line, length)) {
        ClearLine();
        return Answer(ACK_TEXT);
    }
    // A line too short to hold a sequence value and a checksum (a CR alone
    // among them) is refused like a bad checksum.
    if (length < RECORD_OVERHEAD || !RecordIsValid(line, length)) return RefuseRecord();
    return AcceptRecord(line, length);
}

}  // namespace

ProtocolIo protocolIo = {
    NoSend, NoLastCommand, Nothing, NoOutput, NoWrite, NoType,
    Nothing, NoElapse, Nothing, NoText, NoCount, Nothing,
};

void ResetSession()
{
    SessionState& s = sessionState;
    std::memset(s.previousRecord, 0, sizeof s.previousRecord);
    s.previousLength = 0;
    s.typingRecord = false;
    ClearLine();
    protocolIo.clearLastCommand();
    s.retryCount = 0;
    s.receivedCount = 0;
    s.expectedSequence = 0;
}

int HandleLine(uint8_t* line, int length)
{
    protocolIo.stopReplyTimer();
    // The terminal waits for the answer to the record being typed; whatever
    // comes meanwhile is noise, and the record's answer follows its typing.
    if (sessionState.typingRecord) {
        ClearLine();
        return 1;
    }
    if (line == nullptr || length < 1 || length > LINE_CAPACITY) return RefuseRecord();

    if (IsRecordLine(line)) return HandleRecord(line, length);
    if (LineContains(line, length, ACK_TEXT)) return StartTransfer();
    if (LineContains(line, length, NAK_TEXT)) {
        ClearLine();
        protocolIo.armReplyTimer(ANSWER_REPLY_TIME);
        return 1;
    }
    if (LineContains(line, length, OVER_TEXT)) {
        protocolIo.stopReceiving();
        protocolIo.showStatus("Completed!!");
        return 0;
    }
    return HandleRecord(line, length);
}

int FinishTypedRecord()
{
    if (!sessionState.typingRecord) return 1;
    sessionState.typingRecord = false;
    return CountAndAcknowledge();
}

int HandleReplyTimeout(unsigned pollInterval, bool keepOnline)
{
    SessionState& s = sessionState;
    // No answer is owed while a record is still being typed.
    if (s.typingRecord) return 1;
    const char* last = protocolIo.lastCommand();
    if (std::strcmp(last, READ_COMMAND) == 0) {
        if (s.retryCount > RETRY_LIMIT) return ERR_TIMEOUT;
        if (!protocolIo.sendCommand(READ_COMMAND, pollInterval, sizeof READ_COMMAND - 1)) return ERR_PORT_WRITE;
        if (!keepOnline) ++s.retryCount;
        return 1;
    }
    // The terminal did not follow our "ACK\r" or "NAK\r": drop what came of
    // the line and ask for the record again, as for a refused one.
    return RefuseRecord();
}
