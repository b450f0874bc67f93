// The status-bar members of the main window: the item count and the status text. Any thread
// changes them under the lock; the window's 250 ms timer takes what changed and shows it.
#pragma once

#include <mutex>
#include <optional>
#include <string>

class StatusState {
public:
    explicit StatusState(std::string idleText);

    void AddToItemCount(int delta);
    void SetStatusText(const std::string& text);
    int ItemCount() const;

    struct Changes {
        std::optional<int> itemCount;     // set when it differs from the count last shown
        std::optional<std::string> text;  // set when changed, or while it is not the idle text
    };
    // What the status bar must show now; marks it as shown.
    Changes TakeChanges();

private:
    mutable std::mutex mutex_;
    const std::string idleText_;
    int itemCount_ = 0;
    std::optional<int> shownCount_;
    std::string text_;
    bool textChanged_ = false;
};

// String 5002 "变量数: %d" with `count` in place of its %d.
std::string FormatItemCount(int count);
