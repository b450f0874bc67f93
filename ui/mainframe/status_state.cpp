#include "ui/mainframe/status_state.h"

#include "platform/strings/string_ids.h"
#include "platform/strings/string_table.h"

StatusState::StatusState(std::string idleText) : idleText_(std::move(idleText)), text_(idleText_) {}

void StatusState::AddToItemCount(int delta) {
    std::lock_guard lock(mutex_);
    // Wrap like the 32-bit counter it is instead of overflowing.
    itemCount_ = static_cast<int>(static_cast<unsigned>(itemCount_) + static_cast<unsigned>(delta));
}

void StatusState::SetStatusText(const std::string& text) {
    std::lock_guard lock(mutex_);
    text_ = text;
    textChanged_ = true;
}

int StatusState::ItemCount() const {
    std::lock_guard lock(mutex_);
    return itemCount_;
}

StatusState::Changes StatusState::TakeChanges() {
    std::lock_guard lock(mutex_);
    Changes changes;
    if (shownCount_ != itemCount_) {
        changes.itemCount = itemCount_;
        shownCount_ = itemCount_;
    }
    if (textChanged_ || text_ != idleText_) {
        changes.text = text_;
        textChanged_ = false;
    }
    return changes;
}

std::string FormatItemCount(int count) {
    // The format is substituted, not passed to printf: it is text from the table.
    std::string text(LoadString(IDS_ITEM_COUNT));
    const auto at = text.find("%d");
    if (at == std::string::npos) return text + std::to_string(count);
    return text.replace(at, 2, std::to_string(count));
}
