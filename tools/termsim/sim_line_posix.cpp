// The line end on a descriptor: poll on it and on a wake-up pipe.
#include "sim_line.h"

#include <cerrno>
#include <ctime>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace termsim {

struct LineEnd {
    int fd = -1;
    int wake[2] = {-1, -1};  // a byte in it: stop waiting
};

LineEnd* OpenLineEnd(intptr_t native)
{
    auto* end = new LineEnd;
    if (pipe2(end->wake, O_CLOEXEC) != 0) {
        delete end;
        return nullptr;
    }
    end->fd = static_cast<int>(native);
    // Non-blocking, so a host that stops reading can never wedge a stop.
    fcntl(end->fd, F_SETFL, fcntl(end->fd, F_GETFL) | O_NONBLOCK);
    return end;
}

void CloseLineEnd(LineEnd* end)
{
    if (end == nullptr)
        return;
    close(end->wake[0]);
    close(end->wake[1]);
    delete end;
}

int ReadFromHost(LineEnd* end, char* buffer, size_t size, int timeoutMs)
{
    pollfd fds[2] = {{end->wake[0], POLLIN, 0}, {end->fd, POLLIN, 0}};
    if (poll(fds, 2, timeoutMs) < 0)
        return errno == EINTR ? 0 : -1;
    if (fds[0].revents != 0)
        return -1;
    if (fds[1].revents == 0)
        return 0;
    const ssize_t count = read(end->fd, buffer, size);
    if (count > 0)
        return static_cast<int>(count);
    if (count < 0 && (errno == EAGAIN || errno == EINTR))
        return 0;
    // Hang-up (no slave open): let the caller wait for someone to open it again.
    pollfd wake{end->wake[0], POLLIN, 0};
    return poll(&wake, 1, 10) != 0 ? -1 : 0;
}

int WriteToHost(LineEnd* end, const char* bytes, size_t size)
{
    for (;;) {
        const ssize_t n = write(end->fd, bytes, size);
        if (n > 0)
            return static_cast<int>(n);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return -1;
        pollfd fds[2] = {{end->wake[0], POLLIN, 0}, {end->fd, POLLOUT, 0}};
        poll(fds, 2, 100);
        if (fds[0].revents != 0)
            return -1;
    }
}

int HostLineSpeed(LineEnd* end)
{
    return LineSpeed(end->fd);
}

void WakeLineEnd(LineEnd* end)
{
    const char wake = 'x';
    (void)!write(end->wake[1], &wake, 1);
}

int64_t MonotonicRawNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC_RAW, &now);
    return static_cast<int64_t>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

int OpenPtyPair(PtyPair& pair)
{
    pair = PtyPair{};
    // Close-on-exec: a program the test starts must not hold the line open
    // itself, or pulling the port out would not reach it.
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0)
        return -1;
    char name[128] = {};
    if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
        const int saved = errno;
        close(master);
        errno = saved;
        return -1;
    }
    const int slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        const int saved = errno;
        close(master);
        errno = saved;
        return -1;
    }
    // Raw on both ends: no echo, no CR/LF translation, 8 bits.
    for (int fd : {slave, master}) {
        termios attributes{};
        if (tcgetattr(fd, &attributes) == 0) {
            cfmakeraw(&attributes);
            tcsetattr(fd, TCSANOW, &attributes);
        }
    }
    pair.master = master;
    pair.slave = slave;
    pair.slavePath = name;
    return 0;
}

void ClosePtyPair(PtyPair& pair)
{
    if (pair.slave >= 0)
        close(pair.slave);
    if (pair.master >= 0)
        close(pair.master);
    pair = PtyPair{};
}

int LineSpeed(int fd)
{
    termios attributes{};
    if (tcgetattr(fd, &attributes) != 0)
        return 0;
    switch (cfgetispeed(&attributes)) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}

}  // namespace termsim
