// What the document does to the screen while it works on the GUI thread: the cursor, and the
// event pump that keeps the windows alive while a worker runs. The program installs one that
// sets Qt's override cursor; without one the document only pumps the Qt event queue.
#pragma once

class DocumentWaitUi {
public:
    enum class Cursor {
        Wait,         // hourglass: the GUI thread itself is busy
        AppStarting,  // arrow with hourglass: a worker runs, the windows still answer
    };

    virtual ~DocumentWaitUi() = default;
    virtual void ShowCursor(Cursor cursor) = 0;
    virtual void RestoreCursor() = 0;
    // Dispatches the GUI thread's waiting events.
    virtual void ProcessEvents() = 0;
};

// The cursor for the life of the object.
class ScopedWaitCursor {
public:
    ScopedWaitCursor(DocumentWaitUi& ui, DocumentWaitUi::Cursor cursor) : ui_(ui) { ui_.ShowCursor(cursor); }
    ~ScopedWaitCursor() { ui_.RestoreCursor(); }
    ScopedWaitCursor(const ScopedWaitCursor&) = delete;
    ScopedWaitCursor& operator=(const ScopedWaitCursor&) = delete;

private:
    DocumentWaitUi& ui_;
};
