#include "box_watcher.h"

BoxWatcher::BoxWatcher(const char* caption, int button, int textControl)
    : caption_(caption), button_(button), textControl_(textControl)
{
    thread_ = std::thread([this] { Watch(); });
}

BoxWatcher::~BoxWatcher()
{
    Stop();
}

void BoxWatcher::Stop()
{
    running_ = false;
    if (thread_.joinable()) thread_.join();
}

int BoxWatcher::Count()
{
    std::lock_guard<std::mutex> guard(lock_);
    return static_cast<int>(boxes_.size());
}

std::vector<SeenBox> BoxWatcher::Boxes()
{
    std::lock_guard<std::mutex> guard(lock_);
    return boxes_;
}

void BoxWatcher::Watch()
{
    HWND answered = nullptr;
    while (running_) {
        HWND box = FindWindowA("#32770", caption_.c_str());
        HWND button = box != nullptr ? GetDlgItem(box, button_) : nullptr;
        // A box is answered once it is shown and its button exists; the
        // same box is not counted twice while its click is processed.
        if (box != nullptr && box != answered && button != nullptr && IsWindowVisible(box)) {
            char text[1024] = "";
            if (textControl_ != 0) GetDlgItemTextA(box, textControl_, text, sizeof text);
            {
                std::lock_guard<std::mutex> guard(lock_);
                boxes_.push_back({text, GetWindow(box, GW_OWNER)});
            }
            answered = box;
            PostMessageA(button, BM_CLICK, 0, 0);
        } else if (box == nullptr) {
            answered = nullptr;
        }
        Sleep(5);
    }
}
