// The document's wait UI as the program shows it: Qt's override cursor (the hourglass, or the
// arrow with hourglass while a worker runs) and the GUI thread's event queue.
#pragma once

#include "persistence/wait_ui.h"

class QtDocumentWaitUi : public DocumentWaitUi {
public:
    void ShowCursor(Cursor cursor) override;
    void RestoreCursor() override;
    void ProcessEvents() override;
};
