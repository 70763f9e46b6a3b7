// Two COM ports of the prefix joined as a null-modem cable: socat joining
// two pseudo-terminals, each linked as a COM port.
#pragma once

#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "harness.h"

namespace e2e {

// Two COM ports joined as a null-modem pair by socat; gone with the object.
class NullModemPair {
public:
    NullModemPair(int comA, int comB, const std::string& log) : comA_(comA), comB_(comB)
    {
        RemovePort(comA_);
        RemovePort(comB_);
        const std::vector<std::string> argv = {
            "socat", "-d", "-d",
            "pty,raw,echo=0,link=" + DosDevicePath(comA_),
            "pty,raw,echo=0,link=" + DosDevicePath(comB_)};
        pid_ = fork();
        if (pid_ == 0) {
            const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (out < 0) _exit(126);
            dup2(out, 1);
            dup2(out, 2);
            std::vector<char*> raw;
            for (const std::string& a : argv) raw.push_back(const_cast<char*>(a.c_str()));
            raw.push_back(nullptr);
            execvp(raw[0], raw.data());
            _exit(127);
        }
        // socat makes both links once both pseudo-terminals are open.
        for (const int64_t deadline = NowNs() + 5'000'000'000LL; pid_ > 0 && NowNs() < deadline;) {
            if (FileExists(DosDevicePath(comA_)) && FileExists(DosDevicePath(comB_))) {
                ok_ = true;
                break;
            }
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {   // socat gave up
                pid_ = -1;
                break;
            }
            usleep(10000);
        }
    }
    ~NullModemPair()
    {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        RemovePort(comA_);
        RemovePort(comB_);
    }
    bool Ok() const { return ok_; }

private:
    int comA_, comB_;
    pid_t pid_ = -1;
    bool ok_ = false;
};

}  // namespace e2e
