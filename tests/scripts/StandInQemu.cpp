// A stand-in for qemu-i386 in wine_env_test: it answers --version as qemu
// does, and when binfmt_misc starts it for a program (the program's path, its
// argv[0] and its arguments follow) it answers as the Wine loader that program
// stands in for would. It has to be a compiled program: binfmt_misc's open-binary
// flag refuses a script as the interpreter.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::puts("qemu-i386 version 10.0.2 (stand-in)");
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[3], "--version") == 0) {
        std::puts("wine-9.0 (stand-in, emulated)");
        return 0;
    }
    std::printf("emulated:");
    for (int i = 3; i < argc; ++i)
        std::printf(" %s", argv[i]);
    std::puts("");
    return 0;
}
