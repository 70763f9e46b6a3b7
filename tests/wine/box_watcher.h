// Answers message boxes shown by the code under test in this process: a
// thread finds each box (class #32770) with the given caption, records its
// text and owner, and clicks the given button (1 OK, 6 Yes, 7 No). A test
// that expects no box keeps a watcher running and checks Count() is 0, so
// that an unexpected box is answered instead of blocking the test forever.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct SeenBox {
    std::string text;
    HWND owner;
};

class BoxWatcher {
public:
    // textControl: the control whose text is recorded (0xFFFF: a message
    // box's text); 0 records nothing.
    BoxWatcher(const char* caption, int button, int textControl = 0xFFFF);
    ~BoxWatcher();
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    int Count();
    std::vector<SeenBox> Boxes();
    void Stop();

private:
    void Watch();

    std::string caption_;
    int button_;
    int textControl_;
    std::atomic<bool> running_{true};
    std::mutex lock_;
    std::vector<SeenBox> boxes_;
    std::thread thread_;
};
