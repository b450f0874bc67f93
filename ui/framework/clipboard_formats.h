// The clipboard formats of the project objects (their MIME format names), and whether the
// clipboard holds one.
#pragma once

#include "platform/com/types.h"

inline constexpr const char* kServerClipFormat = "VCOpcClientServer";
inline constexpr const char* kGroupClipFormat = "VCOpcClientGroup";
inline constexpr const char* kItemClipFormat = "VCOpcClientItem";

// The formats' numbers: registered with the platform by name once, at the first call (the
// main window makes it at program start), and held for the run.
struct ProjectClipboardFormats {
    UINT server = 0;
    UINT group = 0;
    UINT item = 0;
};
const ProjectClipboardFormats& RegisterProjectClipboardFormats();

bool ClipboardHas(const char* format);
