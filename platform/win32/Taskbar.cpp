// ITaskbarList3 on the interface thread, in a single-threaded COM apartment
// as the shell's objects expect.
#include "platform/win32/Taskbar.h"

#include <objbase.h>
#include <shobjidl.h>

namespace quorvel::win32 {
namespace {

class SystemTaskbar final : public TaskbarProgress {
public:
    SystemTaskbar(HWND window, ITaskbarList3* list, bool uninitialize)
        : m_window(window), m_list(list), m_uninitialize(uninitialize)
    {
    }
    ~SystemTaskbar() override
    {
        m_list->Release();
        if (m_uninitialize)
            ::CoUninitialize();
    }
    SystemTaskbar(const SystemTaskbar&) = delete;
    SystemTaskbar& operator=(const SystemTaskbar&) = delete;

    // Failures are ignored: the progress is a courtesy, the dialog says the rest.
    void Show(TaskbarState state, uint64_t done, uint64_t total) override
    {
        if (state == TaskbarState::None) {
            m_list->SetProgressState(m_window, TBPF_NOPROGRESS);
            return;
        }
        // A value set while no progress shows switches to the normal state,
        // so the value goes first and the state second.
        m_list->SetProgressValue(m_window, done, total);
        m_list->SetProgressState(m_window, state == TaskbarState::Error ? TBPF_ERROR : TBPF_NORMAL);
    }

private:
    HWND m_window;
    ITaskbarList3* m_list;
    bool m_uninitialize;
};

}  // namespace

std::unique_ptr<TaskbarProgress> CreateTaskbarProgress(HWND window)
{
    // S_FALSE (already initialised) also wants its CoUninitialize; a thread
    // already in another apartment can still create the object.
    const bool uninitialize = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    ITaskbarList3* list = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                     reinterpret_cast<void**>(&list)))) {
        if (SUCCEEDED(list->HrInit()))
            return std::make_unique<SystemTaskbar>(window, list, uninitialize);
        list->Release();
    }
    if (uninitialize)
        ::CoUninitialize();
    return nullptr;
}

}  // namespace quorvel::win32
