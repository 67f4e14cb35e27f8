// The single place through which every run of the external tool goes.
#include <string>
#include <vector>

#include "common/Common.h"
#include "engine/AacBridge.h"
#include "engine/AudioProcess.h"
#include "platform/Platform.h"

std::wstring CAudioProcess::OnGetToolPath() {
    return CCommon::OnGetToolPath(L"ffmpeg");
}

bool CAudioProcess::OnRunProcess(const ToolCommand& command) {
    if (command.Empty()) return false;
    std::vector<std::string> argv;
    argv.reserve(command.argv.size());
    for (const auto& a : command.argv) argv.push_back(platform::ToUtf8(a));
    int exitCode = 0;
    // The exit status is deliberately not used: every caller judges the run by its output file.
    return platform::RunProcess(argv, &exitCode);
}

ToolCommand CAudioProcess::OnMakeCommand(CmdTemplate t, std::vector<CmdValue> values) {
    values.insert(values.begin(), CmdValue(OnGetToolPath()));
    return CCommandCatalogue::Make(t, values);
}

void CAudioProcess::OnInstallProbeHooks() {
    CCommon::SetAacLengthHook(&OnGetAACLength);
}
