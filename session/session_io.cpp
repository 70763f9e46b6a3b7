// The record protocol's operations on Windows. The protocol runs on the
// session window's thread, so the window is reached by plain calls.
#include "core/settings.h"
#include "session/session_io.h"

#include <cstdio>
#include <cstring>

#include "core/protocol.h"
#include "link/link_state.h"
#include "res/resource.h"
#include "session/output_file.h"
#include "session/send_command.h"
#include "session/session_handle.h"
#include "session/typing.h"

namespace {

constexpr int COUNT_TEXT_SIZE = 100;

const char* LastCommand()
{
    return linkState.lastCommand;
}

void ClearLastCommand()
{
    std::memset(linkState.lastCommand, 0, sizeof linkState.lastCommand);
}

int OpenOutput()
{
    return OpenOutputFile(settings.outputDirectory, settings.outputFileName);
}

void StopReplyTimer()
{
    if (sessionWindow) KillTimer(sessionWindow, TIMER_REPLY);
}

void ArmReplyTimer(unsigned elapse)
{
    if (sessionWindow) SetTimer(sessionWindow, TIMER_REPLY, elapse, nullptr);
}

void Repaint()
{
    if (sessionWindow) UpdateWindow(sessionWindow);
}

void ShowControl(int id, bool visible)
{
    ShowWindow(GetDlgItem(sessionWindow, id), visible ? SW_SHOW : SW_HIDE);
}

void ShowConnected()
{
    if (!sessionWindow) return;
    SetDlgItemTextA(sessionWindow, IDC_STATUS, "Connected!!");
    ShowControl(IDC_COUNT, true);
    ShowControl(IDC_MARKS_LEFT, false);
    ShowControl(IDC_MARKS_BAR, false);
    ShowControl(IDC_MARKS_RIGHT, false);
    Repaint();
}

void ShowStatus(const char* text)
{
    if (!sessionWindow) return;
    SetDlgItemTextA(sessionWindow, IDC_STATUS, text);
    Repaint();
}

void ShowCount(int count)
{
    if (!sessionWindow) return;
    char text[COUNT_TEXT_SIZE];
    std::snprintf(text, sizeof text, "Received: %d", count);
    SetDlgItemTextA(sessionWindow, IDC_COUNT, text);
}

void StopReceiving()
{
    linkState.receiveRunning = 0;
}

}  // namespace

const ProtocolIo SESSION_PROTOCOL_IO = {
    .sendCommand = SendCommand,
    .lastCommand = LastCommand,
    .clearLastCommand = ClearLastCommand,
    .openOutput = OpenOutput,
    .writeOutput = WriteOutputRecord,
    .startTyping = StartTyping,
    .stopReplyTimer = StopReplyTimer,
    .armReplyTimer = ArmReplyTimer,
    .showConnected = ShowConnected,
    .showStatus = ShowStatus,
    .showCount = ShowCount,
    .stopReceiving = StopReceiving,
};

void UseSessionIo()
{
    protocolIo = &SESSION_PROTOCOL_IO;
}
