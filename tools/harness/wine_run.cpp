// wine_run: runs one Windows program under the test run's Wine environment
// and hands its output and exit status to CTest.
//
//   wine_run ENV_FILE [--com N] [--timeout SECONDS] EXE [ARGS...]
//
// ENV_FILE is the file wine-env.sh start wrote. With --com N, a
// pseudo-terminal is linked as COM port N of the prefix for the run (its
// master is drained so the program's writes never block) and the program
// finds the number in VARNOLT_TEST_COM. The program's output goes to a file
// and is copied to our output at the end: Wine's helper processes inherit
// standard output and would keep CTest's pipe open.
#include "terminal_simulator.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <iostream>
#include <poll.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

volatile sig_atomic_t childGroup = 0;

void EndChildAndExit(int signal)
{
    if (childGroup > 0)
        kill(-childGroup, SIGKILL);
    _exit(128 + signal);
}

int Usage()
{
    std::fprintf(stderr, "usage: wine_run ENV_FILE [--com N] [--timeout SECONDS] EXE [ARGS...]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 3)
        return Usage();
    const std::string envFile = argv[1];
    int com = 0;
    int timeoutSeconds = 600;
    int i = 2;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--com" && i + 1 < argc)
            com = std::atoi(argv[++i]);
        else if (arg == "--timeout" && i + 1 < argc)
            timeoutSeconds = std::atoi(argv[++i]);
        else
            break;
    }
    if (i >= argc)
        return Usage();

    std::string prefix, display;
    std::ifstream in(envFile);
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("WINEPREFIX=", 0) == 0)
            prefix = line.substr(11);
        else if (line.rfind("DISPLAY=", 0) == 0)
            display = line.substr(8);
    }
    if (prefix.empty() || display.empty()) {
        std::fprintf(stderr, "wine_run: no Wine environment in '%s' (fixture harness.start not run?)\n",
                     envFile.c_str());
        return 1;
    }
    const char* wine64 = std::getenv("WINE64");
    const std::string loader = wine64 != nullptr ? wine64 : "/usr/lib/wine/wine64";

    termsim::PtyPair pty;
    std::string link;
    std::atomic<bool> draining{false};
    std::thread drain;
    if (com > 0) {
        if (termsim::OpenPtyPair(pty) != 0) {
            std::perror("wine_run: pseudo-terminal");
            return 1;
        }
        link = prefix + "/dosdevices/com" + std::to_string(com);
        unlink(link.c_str());
        if (symlink(pty.slavePath.c_str(), link.c_str()) != 0) {
            std::perror("wine_run: COM link");
            return 1;
        }
        draining = true;
        const int master = pty.master;
        drain = std::thread([master, &draining] {
            char sink[1024];
            while (draining) {
                pollfd fd{master, POLLIN, 0};
                if (poll(&fd, 1, 50) > 0 && read(master, sink, sizeof sink) < 0 && errno != EAGAIN)
                    poll(nullptr, 0, 10);  // hang-up: nothing to read until it reopens
            }
        });
    }

    char outPattern[] = "/tmp/vn-wine-run-XXXXXX";
    const int outFd = mkstemp(outPattern);
    if (outFd < 0) {
        std::perror("wine_run: output file");
        return 1;
    }

    std::signal(SIGTERM, EndChildAndExit);
    std::signal(SIGINT, EndChildAndExit);
    const pid_t pid = fork();
    if (pid == 0) {
        setpgid(0, 0);
        const int null = open("/dev/null", O_RDONLY);
        dup2(null, 0);
        dup2(outFd, 1);
        dup2(outFd, 2);
        setenv("WINEPREFIX", prefix.c_str(), 1);
        setenv("DISPLAY", display.c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        if (com > 0)
            setenv("VARNOLT_TEST_COM", std::to_string(com).c_str(), 1);
        std::vector<char*> args = {const_cast<char*>(loader.c_str())};
        for (int k = i; k < argc; ++k)
            args.push_back(argv[k]);
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    if (pid < 0) {
        std::perror("wine_run: fork");
        return 1;
    }
    setpgid(pid, pid);
    childGroup = pid;

    int status = 0;
    int code = -1;
    for (int waited = 0;; waited += 10) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            break;
        }
        if (waited >= timeoutSeconds * 1000) {
            std::fprintf(stderr, "wine_run: time-out after %d s, program killed\n", timeoutSeconds);
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            code = 124;
            break;
        }
        poll(nullptr, 0, 10);
    }
    childGroup = 0;

    if (drain.joinable()) {
        draining = false;
        drain.join();
    }
    if (!link.empty())
        unlink(link.c_str());
    termsim::ClosePtyPair(pty);

    std::ifstream output(outPattern, std::ios::binary);
    std::cout << output.rdbuf();
    std::cout.flush();
    close(outFd);
    unlink(outPattern);
    return code;
}
