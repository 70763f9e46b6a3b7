// The modem's AT dialogue and its connect report. Every read goes through
// ReadBounded, so no read outlives the buffer it fills or is still pending
// on the record the receive thread takes over once the call is up.
#include "link/modem.h"

#include <cstring>
#include <string_view>

#include "core/text_watch.h"
#include "errors/error_codes.h"
#include "link/link_state.h"
#include "link/overlapped_io.h"
#include "link/transact.h"

namespace {

constexpr DWORD COMMAND_LIMIT_MS = 1000;
constexpr DWORD POLL_PAUSE_MS = 10;
constexpr DWORD POLL_READ_SIZE = 20;
constexpr DWORD POLL_LIMIT_MS = 200;

constexpr std::string_view HANG_UP = "ATH0\r";
constexpr std::string_view ANSWER_ON_FIRST_RING = "ATE0S0=1X3\r";
constexpr std::string_view CONNECT_TEXT = "CONNECT";
constexpr std::string_view CARRIER_LOST_TEXT = "NO CARRIER";

// A modem's reports come in bursts ("CARRIER ...", "PROTOCOL ...", then
// "CONNECT ..."), which the short poll reads cut anywhere. PrepareModem
// forgets both and looks at its last reply; then connectWatch is written by
// PollModemConnect only, carrierWatch by FindCarrierLoss only (all on the
// window's thread).
TextWatch connectWatch;
TextWatch carrierWatch;

// Set when the answer to the answer-mode command already held "CONNECT": a
// call that came within the command's time limit was read with its "OK".
// The next poll reports it, or the call would be lost.
bool connectedInReply = false;

// 1 when the modem answered the command with "OK" anywhere in its reply
// (an echo of the command may come first).
int CommandAnsweredOk(HANDLE port, std::string_view command, char* reply)
{
    if (!Transact(port, command.data(), static_cast<int>(command.size()), COMMAND_LIMIT_MS, reply)) return 0;
    return std::strstr(reply, "OK") ? 1 : 0;
}

}  // namespace

int PrepareModem(HANDLE port)
{
    connectedInReply = false;
    ForgetReads(connectWatch);
    ForgetReads(carrierWatch);
    char reply[REPLY_CAPACITY] = {};
    if (!CommandAnsweredOk(port, HANG_UP, reply)) return ERR_DEVICE_CONFIG;
    if (!CommandAnsweredOk(port, ANSWER_ON_FIRST_RING, reply)) return ERR_DEVICE_CONFIG;
    // What followed the "OK" may be the start of the call's reports.
    connectedInReply = FindInReads(connectWatch, CONNECT_TEXT, std::strstr(reply, "OK")) >= 0;
    return 1;
}

int PollModemConnect(HANDLE port)
{
    if (!port) return LINK_WAIT_FAILED;
    if (connectedInReply) {
        connectedInReply = false;
        return LINK_CONNECTED;
    }
    char area[REPLY_CAPACITY] = {};
    Sleep(POLL_PAUSE_MS);
    DWORD count = 0;
    if (ReadBounded(port, &linkState.readOverlapped, area, POLL_READ_SIZE, POLL_LIMIT_MS, &count) != IO_DONE)
        return LINK_WAIT_FAILED;
    return FindInReads(connectWatch, CONNECT_TEXT, std::string_view(area, count)) >= 0 ? LINK_CONNECTED : LINK_NO_NEWS;
}

int FindCarrierLoss(const char* bytes, unsigned count)
{
    int at = FindInReads(carrierWatch, CARRIER_LOST_TEXT, std::string_view(bytes, count));
    while (at > 0 && (bytes[at - 1] == '\r' || bytes[at - 1] == '\n')) --at;
    return at;
}
