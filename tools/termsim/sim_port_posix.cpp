// The command's port on POSIX: a terminal device (--port), or a
// pseudo-terminal of our own with a path linked to its slave (--link, e.g. a
// Wine prefix's dosdevices/com5).
#include "sim_line.h"
#include "sim_port.h"

#include <cstdio>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace termsim {

const char* const PORT_SYNOPSIS = "(--port DEVICE | --link PATH)";
const char* const PORT_DETAILS =
    "  --port DEVICE   serve this terminal device (e.g. /dev/pts/N)\n"
    "  --link PATH     make a pseudo-terminal and link PATH to its slave\n";

struct SimPort {
    std::string link;
    PtyPair pty;
    int fd = -1;
};

int TakePortArgument(int argc, char** argv, int* i, PortChoice& choice)
{
    const std::string arg = argv[*i];
    if (arg != "--port" && arg != "--link")
        return 0;
    if (*i + 1 >= argc)
        return -1;
    (arg == "--port" ? choice.device : choice.link) = argv[++*i];
    return 1;
}

bool PortChoiceComplete(const PortChoice& choice)
{
    return choice.device.empty() != choice.link.empty();
}

SimPort* OpenSimPort(const PortChoice& choice)
{
    auto* port = new SimPort;
    if (!choice.link.empty()) {
        if (OpenPtyPair(port->pty) != 0) {
            std::perror("termsim: pseudo-terminal");
            delete port;
            return nullptr;
        }
        unlink(choice.link.c_str());
        if (symlink(port->pty.slavePath.c_str(), choice.link.c_str()) != 0) {
            std::perror("termsim: link");
            ClosePtyPair(port->pty);
            delete port;
            return nullptr;
        }
        port->link = choice.link;
        port->fd = port->pty.master;
        std::printf("termsim: %s -> %s\n", choice.link.c_str(), port->pty.slavePath.c_str());
        return port;
    }
    port->fd = open(choice.device.c_str(), O_RDWR | O_NOCTTY);
    if (port->fd < 0) {
        std::perror("termsim: open port");
        delete port;
        return nullptr;
    }
    termios attributes{};
    if (tcgetattr(port->fd, &attributes) == 0) {
        cfmakeraw(&attributes);
        tcsetattr(port->fd, TCSANOW, &attributes);
    }
    return port;
}

intptr_t SimPortLine(const SimPort* port)
{
    return port->fd;
}

int SimPortSpeed(const SimPort* port)
{
    return LineSpeed(port->fd);
}

void CloseSimPort(SimPort* port)
{
    if (port == nullptr)
        return;
    if (!port->link.empty()) {
        unlink(port->link.c_str());
        ClosePtyPair(port->pty);
    } else {
        close(port->fd);
    }
    delete port;
}

}  // namespace termsim
