// Asks a top-level X11 window to close the way a window manager does: an
// ICCCM WM_DELETE_WINDOW client message (destroying the window instead
// would kill the program before it can save anything). libxcb is loaded at
// run time, so no X11 development files are needed to build this.
//
// Usage: x11_close WINDOW_ID   (uses $DISPLAY)

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Connection;
struct Cookie {
    unsigned int sequence;
};
struct AtomReply {
    uint8_t responseType, pad0;
    uint16_t sequence;
    uint32_t length, atom;
};
struct ClientMessage {
    uint8_t responseType = 33;  // ClientMessage
    uint8_t format = 32;
    uint16_t sequence = 0;
    uint32_t window = 0, type = 0, data32[5] = {};
};
static_assert(sizeof(ClientMessage) == 32, "X11 events are 32 bytes");

int Fail(const char* why, const char* what = "") {
    std::fprintf(stderr, "x11_close: %s%s\n", why, what);
    return 2;
}

// A libxcb function; `ok` turns false when it is missing.
template <class F>
F Sym(void* lib, const char* name, bool& ok) {
    void* p = dlsym(lib, name);
    ok = ok && p;
    return reinterpret_cast<F>(p);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return Fail("usage: x11_close WINDOW_ID");
    char* end = nullptr;
    const unsigned long window = std::strtoul(argv[1], &end, 0);
    if (!end || *end || window == 0)
        return Fail("not a window id: ", argv[1]);
    void* lib = dlopen("libxcb.so.1", RTLD_NOW);
    if (!lib)
        return Fail("cannot load libxcb.so.1");
    bool ok = true;
    auto connect = Sym<Connection* (*)(const char*, int*)>(lib, "xcb_connect", ok);
    auto hasError = Sym<int (*)(Connection*)>(lib, "xcb_connection_has_error", ok);
    auto intern = Sym<Cookie (*)(Connection*, uint8_t, uint16_t, const char*)>(lib, "xcb_intern_atom", ok);
    auto reply = Sym<AtomReply* (*)(Connection*, Cookie, void**)>(lib, "xcb_intern_atom_reply", ok);
    auto send = Sym<Cookie (*)(Connection*, uint8_t, uint32_t, uint32_t, const char*)>(
        lib, "xcb_send_event_checked", ok);
    auto check = Sym<void* (*)(Connection*, Cookie)>(lib, "xcb_request_check", ok);
    auto disconnect = Sym<void (*)(Connection*)>(lib, "xcb_disconnect", ok);
    if (!ok)
        return Fail("libxcb lacks a needed function");
    Connection* c = connect(nullptr, nullptr);
    if (!c || hasError(c))
        return Fail("cannot connect to the X server");
    auto atom = [&](const char* name) -> uint32_t {
        AtomReply* r = reply(c, intern(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const uint32_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    };
    ClientMessage ev;
    ev.window = uint32_t(window);
    ev.type = atom("WM_PROTOCOLS");
    ev.data32[0] = atom("WM_DELETE_WINDOW");  // data32[1] = 0: CurrentTime
    if (!ev.type || !ev.data32[0]) {
        disconnect(c);
        return Fail("cannot look up the WM atoms");
    }
    // Wait until the server has handled the request: one left unread when
    // the client hangs up is thrown away (seen on a loaded machine).
    void* error = check(c, send(c, 0, ev.window, 0, reinterpret_cast<const char*>(&ev)));
    disconnect(c);
    std::free(error);
    return error ? Fail("the X server refused the close request") : 0;
}
