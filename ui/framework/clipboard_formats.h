// The clipboard formats of the project objects (their MIME format names), whether the
// clipboard holds one, and moving a payload to and from the clipboard.
#pragma once

#include "platform/com/types.h"

#include <QByteArray>

#include <cstdint>
#include <span>
#include <string>
#include <vector>

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

// Replaces what the clipboard holds by `bytes` under `format` and, when it is not empty,
// `text` as plain text (what a text editor or a spreadsheet pastes).
void PutOnClipboard(const char* format, const std::vector<std::uint8_t>& bytes, const std::string& text = {});
// The bytes the clipboard holds under `format`; empty when it holds none.
QByteArray ClipboardBytes(const char* format);

// A view of `data`'s bytes, valid while `data` lives unchanged.
inline std::span<const std::uint8_t> AsBytes(const QByteArray& data) {
    return {reinterpret_cast<const std::uint8_t*>(data.constData()), static_cast<std::size_t>(data.size())};
}
