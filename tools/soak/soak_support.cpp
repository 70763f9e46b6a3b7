#include "soak_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

// Set by the build: the Wine loader and the environment script.
#ifndef SOAK_WINE64
#define SOAK_WINE64 "/usr/lib/wine/wine64"
#endif
#ifndef SOAK_ENV_SCRIPT
#define SOAK_ENV_SCRIPT "tools/harness/wine-env.sh"
#endif

namespace fs = std::filesystem;

namespace soak {

namespace {

int RunEnvScript(const char* action, const std::string& stateDir)
{
    const std::string command = std::string("WINE64=") + SOAK_WINE64 + " " + SOAK_ENV_SCRIPT + " " + action + " " +
                                stateDir + " >/dev/null 2>&1";
    return std::system(command.c_str());
}

}  // namespace

bool OpenWorkspace(const std::string& stateDir, Workspace* workspace)
{
    *workspace = Workspace{};
    const char* given = std::getenv("VARNOLT_E2E_ENV");
    if (given == nullptr || !fs::exists(given)) {
        // A directory of this process's own: starting an environment stops
        // whatever an earlier start left in its directory.
        const std::string own = stateDir + "-" + std::to_string(getpid());
        if (RunEnvScript("start", own) != 0) {
            std::fprintf(stderr, "cannot start a Wine environment in %s (see its log directory)\n", own.c_str());
            return false;
        }
        workspace->envDir = own;
        setenv("VARNOLT_E2E_ENV", (own + "/env").c_str(), 1);
    }
    if (!e2e::Env().ok) {
        std::fprintf(stderr, "%s\n", e2e::Env().problem.c_str());
        CloseWorkspace(*workspace);
        return false;
    }
    char pattern[] = "/tmp/vn-soak-XXXXXX";
    if (mkdtemp(pattern) == nullptr) {
        CloseWorkspace(*workspace);
        return false;
    }
    workspace->dir = pattern;
    workspace->exe = workspace->dir + "/Varnolt.exe";
    std::error_code error;
    fs::copy_file(e2e::Env().varnoltExe, workspace->exe, error);
    if (error) {
        std::fprintf(stderr, "cannot copy the program: %s\n", error.message().c_str());
        CloseWorkspace(*workspace);
        return false;
    }
    return true;
}

void CloseWorkspace(Workspace& workspace)
{
    std::error_code ignored;
    if (!workspace.dir.empty()) fs::remove_all(workspace.dir, ignored);
    if (!workspace.envDir.empty()) {
        if (RunEnvScript("stop", workspace.envDir) != 0) std::fprintf(stderr, "the Wine environment did not stop cleanly\n");
        fs::remove_all(workspace.envDir, ignored);
    }
    workspace = Workspace{};
}

std::vector<std::string> TakeErrorLogs(const std::string& dir)
{
    std::vector<std::string> messages;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(dir, error)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("Err", 0) != 0 || entry.path().extension() != ".log") continue;
        messages.push_back(e2e::ReadFile(entry.path().string()));
        fs::remove(entry.path(), error);
    }
    return messages;
}

bool ReadIfPresent(const std::string& path, std::string* content)
{
    if (!e2e::FileExists(path)) {
        content->clear();
        return false;
    }
    *content = e2e::ReadFile(path);
    return true;
}

std::string AnswerErrorBox()
{
    std::string text;
    if (!e2e::WaitBox(e2e::ERROR_CAPTION, 0, &text)) return std::string();
    e2e::PressButton(e2e::ERROR_CAPTION, e2e::BUTTON_OK);
    return text.empty() ? "(a box without text)" : text;
}

std::string Printable(const std::string& bytes, size_t limit)
{
    std::string out;
    for (unsigned char c : bytes) {
        if (out.size() >= limit) {
            out += "...";
            break;
        }
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            out += hex;
        }
    }
    return out;
}

double Seconds()
{
    return static_cast<double>(e2e::NowNs()) / 1e9;
}

}  // namespace soak
