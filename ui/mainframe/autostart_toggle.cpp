#include "ui/mainframe/autostart_toggle.h"
#include "platform/strings/language.h"

namespace {

std::string WithCode(const char* before, int code, const char* after) { return before + std::to_string(code) + after; }

}  // namespace

std::string AutostartReadMessage(const AutostartState& state) {
    switch (state.error) {
    case AutostartError::CannotOpen:
        return WithCode(Tr("获取开机启动信息失败！无法打开注册表，错误码=", "Could not read the autostart setting! The registry could not be opened, error code="),
                        state.code, Tr("，请以管理员身份运行！", ". Please run as administrator!"));
    case AutostartError::CannotRead:
    case AutostartError::CannotWrite:
        return WithCode(Tr("获取开机启动信息失败！错误码=", "Could not read the autostart setting! Error code="), state.code,
                        Tr("，请以管理员身份运行！", ". Please run as administrator!"));
    case AutostartError::None: break;
    }
    return {};
}

std::string AutostartWriteMessage(const AutostartResult& result) {
    if (result.ok) return {};
    if (result.error == AutostartError::CannotOpen)
        return WithCode(Tr("操作失败！无法打开注册表，错误码=", "The operation failed! The registry could not be opened, error code="),
                        result.code, Tr("，请以管理员身份运行！", ". Please run as administrator!"));
    return WithCode(Tr("操作失败！无法写入注册表，错误码=", "The operation failed! The registry could not be written, error code="),
                    result.code,
                    Tr("，请以管理员身份运行并确认是否被杀毒软件拦截！",
                       ". Please run as administrator and check that antivirus software did not block it!"));
}

bool ReadAutostartCheck(const std::string& exePath, const MessageBoxFunction& messageBox) {
    const AutostartState state = AutostartRead(exePath);
    if (const std::string message = AutostartReadMessage(state); !message.empty()) {
        messageBox(message);
        return false;
    }
    return state.on;
}

bool ToggleAutostart(bool checked, const std::string& exePath, const MessageBoxFunction& messageBox) {
    const AutostartResult result = AutostartWrite(!checked, exePath);
    if (!result.ok) {
        messageBox(AutostartWriteMessage(result));
        return checked;
    }
    return !checked;
}
