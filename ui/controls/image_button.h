// A push button that shows one image while enabled and another while disabled; its tooltip and
// accessible name are its caption up to the first line break.
#pragma once

#include <QPushButton>

class CImageButton : public QPushButton {
public:
    CImageButton(const QString& caption, const QIcon& enabled, const QIcon& disabled, QWidget* parent = nullptr);

    // Enables or disables the button; the previous state.
    bool SetEnabled(bool enabled);
};
