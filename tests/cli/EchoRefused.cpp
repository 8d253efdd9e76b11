// Preloaded into quorvel-cli by cli_system_test.sh: a terminal that takes the
// echo back but says it failed, as after a hang-up or a signal mid-call.
#include <cerrno>
#include <dlfcn.h>
#include <termios.h>

extern "C" int tcsetattr(int fd, int action, const termios* mode)
{
    using Real = int (*)(int, int, const termios*);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "tcsetattr"));
    const int result = real(fd, action, mode);
    if (result != 0 || (mode->c_lflag & ECHO) == 0)
        return result;
    errno = EIO;
    return -1;
}
