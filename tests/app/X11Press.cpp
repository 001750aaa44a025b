// Presses and releases keys on the X server through the XTEST extension,
// each key alone (a tool that adds the modifier a modifier key sets would
// press Left Ctrl around Right Ctrl), at exact pauses. libX11 and libXtst
// are loaded at run time, so no X11 development files are needed to build
// this.
//
// Usage: x11_press STEP...   (uses $DISPLAY)
//   +NAME  press the key of X key symbol NAME    -NAME  release it
//   MS     wait MS milliseconds

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

int main(int argc, char** argv) {
    void* x11 = dlopen("libX11.so.6", RTLD_NOW);
    void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
    if (!x11 || !xtst) {
        std::fprintf(stderr, "x11_press: libX11 or libXtst is missing\n");
        return 77;
    }
    using Display = void;
    auto open = reinterpret_cast<Display* (*)(const char*)>(dlsym(x11, "XOpenDisplay"));
    auto keysym = reinterpret_cast<unsigned long (*)(const char*)>(dlsym(x11, "XStringToKeysym"));
    auto keycode =
        reinterpret_cast<unsigned char (*)(Display*, unsigned long)>(dlsym(x11, "XKeysymToKeycode"));
    auto flush = reinterpret_cast<int (*)(Display*)>(dlsym(x11, "XFlush"));
    auto sync = reinterpret_cast<int (*)(Display*, int)>(dlsym(x11, "XSync"));
    auto fake =
        reinterpret_cast<int (*)(Display*, unsigned, int, unsigned long)>(dlsym(xtst, "XTestFakeKeyEvent"));
    Display* d = open ? open(nullptr) : nullptr;
    if (!d || !keysym || !keycode || !flush || !sync || !fake) {
        std::fprintf(stderr, "x11_press: cannot open the display\n");
        return 1;
    }
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (a[0] == '+' || a[0] == '-') {
            const unsigned long sym = keysym(a + 1);
            const unsigned code = sym ? keycode(d, sym) : 0;
            if (!code) {
                std::fprintf(stderr, "x11_press: no key for \"%s\"\n", a + 1);
                return 1;
            }
            fake(d, code, a[0] == '+', 0);
            flush(d);
        } else {
            sync(d, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(std::atoi(a)));
        }
    }
    sync(d, 0);
    return 0;
}
