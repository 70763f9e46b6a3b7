// The host side of a pseudo-terminal pair whose master the terminal
// simulator serves: writes, speed changes and reads bounded by deadlines.
#pragma once

#include "tools/termsim/terminal_simulator.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <string>

struct FakeHost {
    FakeHost() { ok = termsim::OpenPtyPair(pty) == 0; }
    ~FakeHost()
    {
        sim.Stop();
        termsim::ClosePtyPair(pty);
    }
    bool Send(const std::string& text)
    {
        sent += text.size();
        return write(pty.slave, text.data(), text.size()) == ssize_t(text.size());
    }
    // Sends and waits until the simulator has acted on every byte sent so far.
    bool SendHandled(const std::string& text)
    {
        const size_t total = sent + text.size();
        return Send(text) && sim.WaitFor([total](const termsim::TerminalSimulator& s) {
            return s.HostBytesHandled() >= total;
        }, 2000);
    }
    // The speed of the host's port, as a program sets it on a COM port.
    bool SetSpeed(int bitsPerSecond)
    {
        termios attributes{};
        const speed_t code = bitsPerSecond == 9600 ? B9600 : bitsPerSecond == 19200 ? B19200
                           : bitsPerSecond == 38400 ? B38400 : bitsPerSecond == 57600 ? B57600 : B115200;
        return tcgetattr(pty.slave, &attributes) == 0 && cfsetspeed(&attributes, code) == 0 &&
               tcsetattr(pty.slave, TCSANOW, &attributes) == 0;
    }
    // Reads count bytes, or what came within the time.
    std::string Read(size_t count, int timeoutMs = 2000)
    {
        std::string out;
        char c;
        pollfd fd{pty.slave, POLLIN, 0};
        for (int64_t end = termsim::MonotonicRawNs() + timeoutMs * 1000000LL, left; out.size() < count;) {
            if ((left = (end - termsim::MonotonicRawNs()) / 1000000) <= 0 || poll(&fd, 1, int(left)) <= 0) break;
            if (read(pty.slave, &c, 1) == 1) out.push_back(c);
        }
        return out;
    }
    termsim::PtyPair pty;
    termsim::TerminalSimulator sim;
    size_t sent = 0;
    bool ok = false;
};
