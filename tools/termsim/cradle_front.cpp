#include "cradle_front.h"

#include "line_garble.h"

namespace termsim {

namespace {

// Bytes from the cradle as the host's port receives them.
void SendAtCradleSpeed(const CradleState& cradle, const HostLine& line, std::string_view bytes)
{
    const int hostSpeed = HostSpeed(line);
    if (hostSpeed > 0)
        SendToHost(line, ReceiveAtSpeed(bytes, cradle.speed, hostSpeed));
}

// One byte as the cradle heard it. Returns true when it was a probe it answered.
bool HearByte(CradleState& cradle, const HostLine& line, uint8_t byte, bool clean, std::string& toTerminal)
{
    if (byte == CRADLE_PROBE) {
        std::string answer(static_cast<size_t>(cradle.options.nulsBeforeAnswer), '\0');
        answer.push_back(static_cast<char>(cradle.options.answerByte));
        SendAtCradleSpeed(cradle, line, answer);
        cradle.carrying = false;
        cradle.changeStep = 0;
        return true;
    }
    if (cradle.carrying) {
        // Noise heard at another speed is not passed on: a frame the cradle
        // could not take cleanly is dropped, as a line receiver drops it.
        if (clean)
            toTerminal.push_back(static_cast<char>(byte));
        return false;
    }
    if (cradle.changeStep == 1 && CradleDigitSpeed(byte) != 0) {
        cradle.pendingSpeed = CradleDigitSpeed(byte);
        cradle.changeStep = 2;
    } else if (cradle.changeStep == 2 && byte == CRADLE_SPEED_END) {
        cradle.speed = cradle.pendingSpeed;
        cradle.carrying = true;
        cradle.changeStep = 0;
    } else {
        cradle.changeStep = byte == CRADLE_SPEED_CHANGE ? 1 : 0;
    }
    return false;
}

}  // namespace

int CradleDigitSpeed(uint8_t digit)
{
    switch (digit) {
    case '2': return 9600;
    case '3': return 19200;
    case '4': return 38400;
    case '5': return 57600;
    case '6': return 115200;
    default: return 0;
    }
}

void StartCradle(CradleState& cradle, const CradleOptions& options)
{
    cradle = CradleState{};
    cradle.options = options;
    cradle.speed = options.startSpeed;
}

void CradleFromHost(CradleState& cradle, const HostLine& line, std::string_view bytes, int64_t nowNs,
                    std::string& toTerminal)
{
    const int hostSpeed = HostSpeed(line);
    FrontEvent event;
    event.timeNs = nowNs;
    event.hostSpeed = hostSpeed;
    // The log shows the host's own bytes: probes always, other bytes while
    // the cradle takes commands, each with the speeds at the time.
    const auto logByte = [&](char byte, bool wasCarrying, bool answered) {
        event.kind = byte == static_cast<char>(CRADLE_PROBE) ? FrontEventKind::CRADLE_PROBE
                                                             : FrontEventKind::CRADLE_BYTE;
        event.text.assign(1, byte);
        event.answered = answered;
        if (event.kind == FrontEventKind::CRADLE_PROBE || !wasCarrying)
            Record(line, event);
    };
    const auto logChange = [&](bool wasCarrying) {
        if (!cradle.carrying || wasCarrying)
            return;
        FrontEvent change = event;
        change.kind = FrontEventKind::CRADLE_SPEED_CHANGE;
        change.text.clear();
        change.answered = false;
        change.cradleSpeed = cradle.speed;
        Record(line, change);
    };
    if (cradle.options.present && hostSpeed == cradle.speed) {
        for (char byte : bytes) {
            const bool wasCarrying = cradle.carrying;
            event.cradleSpeed = cradle.speed;
            const bool answered = HearByte(cradle, line, static_cast<uint8_t>(byte), true, toTerminal);
            logByte(byte, wasCarrying, answered);
            logChange(wasCarrying);
        }
        return;
    }
    // At another speed the cradle hears what the bits make at its own speed;
    // whatever that is stands for the whole burst in the log.
    const bool wasCarrying = cradle.carrying;
    event.cradleSpeed = cradle.speed;
    bool answered = false;
    if (cradle.options.present && hostSpeed > 0) {
        for (char heard : ReceiveAtSpeed(bytes, hostSpeed, cradle.speed))
            answered = HearByte(cradle, line, static_cast<uint8_t>(heard), false, toTerminal) || answered;
    }
    for (char byte : bytes)
        logByte(byte, wasCarrying, answered && byte == static_cast<char>(CRADLE_PROBE));
    logChange(wasCarrying);
}

void CradleFromTerminal(CradleState& cradle, const HostLine& line, std::string_view bytes)
{
    if (cradle.options.present && cradle.carrying)
        SendAtCradleSpeed(cradle, line, bytes);
}

}  // namespace termsim
