// Answers the boxes with the given caption (class #32770) that the code under
// test shows in this process: records each one's text and owner and clicks
// the given button. A test expecting no box keeps a watcher running and checks
// Count() is 0, so that an unexpected box cannot block it forever.
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
    // textControl: the control whose text is recorded (0xFFFF: a message box's text; 0: none).
    BoxWatcher(const char* caption, int button, int textControl = 0xFFFF)
        : caption_(caption), button_(button), textControl_(textControl), thread_([this] { Watch(); })
    {
    }
    ~BoxWatcher() { Stop(); }
    BoxWatcher(const BoxWatcher&) = delete;
    BoxWatcher& operator=(const BoxWatcher&) = delete;

    int Count() { return static_cast<int>(Boxes().size()); }
    std::vector<SeenBox> Boxes()
    {
        std::lock_guard<std::mutex> guard(lock_);
        return boxes_;
    }
    void Stop()
    {
        running_ = false;
        if (thread_.joinable()) thread_.join();
    }

private:
    void Watch()
    {
        for (HWND answered = nullptr; running_; Sleep(5)) {
            HWND box = FindWindowA("#32770", caption_.c_str());
            HWND button = box != nullptr ? GetDlgItem(box, button_) : nullptr;
            if (box == nullptr) answered = nullptr;
            // Answered once shown with its button; not counted twice while the click is processed.
            if (box == nullptr || box == answered || button == nullptr || !IsWindowVisible(box)) continue;
            char text[1024] = "";
            if (textControl_ != 0) GetDlgItemTextA(box, textControl_, text, sizeof text);
            std::lock_guard<std::mutex> guard(lock_);
            boxes_.push_back({text, GetWindow(box, GW_OWNER)});
            answered = box;
            PostMessageA(button, BM_CLICK, 0, 0);
        }
    }

    std::string caption_;
    int button_;
    int textControl_;
    std::atomic<bool> running_{true};
    std::mutex lock_;
    std::vector<SeenBox> boxes_;
    std::thread thread_;
};
