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
struct Cookie { unsigned int sequence; };
struct AtomReply {
    uint8_t responseType, pad0;
    uint16_t sequence;
    uint32_t length;
    uint32_t atom;
};
struct ClientMessage {
    uint8_t responseType;  // 33 = ClientMessage
    uint8_t format;        // 32
    uint16_t sequence;
    uint32_t window;
    uint32_t type;
    uint32_t data32[5];
};

using ConnectFn = Connection* (*)(const char*, int*);
using ErrorFn = int (*)(Connection*);
using InternFn = Cookie (*)(Connection*, uint8_t, uint16_t, const char*);
using ReplyFn = AtomReply* (*)(Connection*, Cookie, void**);
using SendFn = Cookie (*)(Connection*, uint8_t, uint32_t, uint32_t, const char*);
using FlushFn = int (*)(Connection*);
using DisconnectFn = void (*)(Connection*);

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: x11_close WINDOW_ID\n");
        return 2;
    }
    char* end = nullptr;
    const unsigned long window = std::strtoul(argv[1], &end, 0);
    if (!end || *end || window == 0) {
        std::fprintf(stderr, "x11_close: not a window id: %s\n", argv[1]);
        return 2;
    }
    void* lib = dlopen("libxcb.so.1", RTLD_NOW);
    if (!lib) {
        std::fprintf(stderr, "x11_close: cannot load libxcb.so.1\n");
        return 2;
    }
    auto connect = reinterpret_cast<ConnectFn>(dlsym(lib, "xcb_connect"));
    auto hasError = reinterpret_cast<ErrorFn>(dlsym(lib, "xcb_connection_has_error"));
    auto intern = reinterpret_cast<InternFn>(dlsym(lib, "xcb_intern_atom"));
    auto reply = reinterpret_cast<ReplyFn>(dlsym(lib, "xcb_intern_atom_reply"));
    auto send = reinterpret_cast<SendFn>(dlsym(lib, "xcb_send_event"));
    auto flush = reinterpret_cast<FlushFn>(dlsym(lib, "xcb_flush"));
    auto disconnect = reinterpret_cast<DisconnectFn>(dlsym(lib, "xcb_disconnect"));
    if (!connect || !hasError || !intern || !reply || !send || !flush || !disconnect) {
        std::fprintf(stderr, "x11_close: libxcb lacks a needed function\n");
        return 2;
    }
    Connection* c = connect(nullptr, nullptr);
    if (!c || hasError(c)) {
        std::fprintf(stderr, "x11_close: cannot connect to the X server\n");
        return 2;
    }
    auto atom = [&](const char* name) -> uint32_t {
        AtomReply* r = reply(c, intern(c, 0, uint16_t(std::strlen(name)), name), nullptr);
        const uint32_t a = r ? r->atom : 0;
        std::free(r);
        return a;
    };
    const uint32_t protocols = atom("WM_PROTOCOLS");
    const uint32_t deleteWindow = atom("WM_DELETE_WINDOW");
    if (!protocols || !deleteWindow) {
        std::fprintf(stderr, "x11_close: cannot look up the WM atoms\n");
        disconnect(c);
        return 2;
    }
    ClientMessage ev{};
    ev.responseType = 33;
    ev.format = 32;
    ev.window = uint32_t(window);
    ev.type = protocols;
    ev.data32[0] = deleteWindow;
    ev.data32[1] = 0;  // CurrentTime
    static_assert(sizeof(ev) == 32, "X11 events are 32 bytes");
    send(c, 0, uint32_t(window), 0, reinterpret_cast<const char*>(&ev));
    flush(c);
    disconnect(c);
    return 0;
}
