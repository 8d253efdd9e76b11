// Drives the real Quorvel.exe as a user would and checks what the user sees and
// the files left behind: one line per scenario, then "N passed, M failed".
//
//   QuorvelDriver --exe X:\...\Quorvel.exe --work X:\... --big X:\... --cwd X:\...
//                 --shots X:\... [--bitmap X:\...\background.bmp] [--ram yes] [--only TEXT,TEXT]
//                 [--dpi N]
//
// --work holds small files (compared byte for byte), --big large ones (checked
// block by block as they stream; "--ram yes" says it is in memory, where
// several GiB are cheap), --cwd is the program's empty working folder, --shots
// receives one screen capture per state, --only picks scenarios by name,
// --dpi says which screen DPI the run was set up with.
#include "DriverSupport.h"
#include "Scenarios.h"

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>

#include <cstdio>

using namespace e2e;

int main()
{
    _setmode(_fileno(stdout), _O_BINARY);
    // Screen pixels as they are, whatever the DPI: captures and rectangles
    // must not be scaled for a program that says nothing about DPI.
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    const auto setContext = reinterpret_cast<SetContextFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetProcessDpiAwarenessContext")));
    if (setContext == nullptr || !setContext(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4))))
        SetProcessDPIAware();
    setvbuf(stdout, nullptr, _IONBF, 0);

    Options options;
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    const std::pair<const wchar_t*, std::wstring Options::*> paths[] = {
        {L"--exe", &Options::exe},     {L"--work", &Options::work},   {L"--big", &Options::big},
        {L"--cwd", &Options::cwd},     {L"--shots", &Options::shots}, {L"--bitmap", &Options::bitmap},
    };
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring name = argv[i];
        const std::wstring value = argv[i + 1];
        for (const auto& [option, path] : paths) {
            if (name == option)
                options.*path = value;
        }
        if (name == L"--ram")
            options.bigInRam = value == L"yes";
        else if (name == L"--only")
            options.only = Narrow(value);
        else if (name == L"--dpi")
            options.dpi = static_cast<unsigned>(_wtoi(value.c_str()));
    }
    LocalFree(argv);
    if (options.exe.empty() || options.work.empty() || options.cwd.empty()) {
        std::printf("usage: QuorvelDriver --exe PATH --work DIR --cwd DIR [--big DIR] [--shots DIR] [--bitmap BMP]\n");
        return 2;
    }
    if (options.big.empty())
        options.big = options.work;
    return RunScenarios(options);
}
