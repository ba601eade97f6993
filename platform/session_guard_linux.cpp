// The desktop session on Linux: a blocking logind inhibitor on the system
// bus (shutdown, sleep, idle and the lid switch), held as its descriptor,
// and where a desktop portal runs on the session bus, its inhibition of
// logout, suspend and idle as well. Every wait on a bus keeps the desktop
// answered and is bounded; any failure leaves that hold untaken.
#include "platform/session_guard.h"

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <systemd/sd-bus.h>
#include <unistd.h>

#include "platform/bus_call_linux.h"

namespace platform {

namespace {

constexpr char kLogin[] = "org.freedesktop.login1";
constexpr char kPortal[] = "org.freedesktop.portal.Desktop";
constexpr char kInhibitWhat[] = "shutdown:sleep:idle:handle-lid-switch";
// The portal's flags: logout 1, user switch 2, suspend 4, idle 8.
constexpr uint32_t kPortalFlags = 1 | 4 | 8;

int g_guards = 0;

struct Message {
    sd_bus_message* m = nullptr;
    ~Message() { sd_bus_message_unref(m); }
};

struct Error {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~Error() { sd_bus_error_free(&e); }
};

// Calls `call` and waits for its reply. Returns true with `reply` set.
bool Call(sd_bus* bus, sd_bus_message* call, Message& reply)
{
    Error error;
    return CallAnswering(bus, call, kBusWaitLimitUs, &error.e, &reply.m) >= 0;
}

bool NameRunning(sd_bus* bus, const char* name)
{
    Message call, reply;
    int owned = 0;
    return sd_bus_message_new_method_call(bus, &call.m, "org.freedesktop.DBus", "/org/freedesktop/DBus",
               "org.freedesktop.DBus", "NameHasOwner") >= 0 &&
        sd_bus_message_append(call.m, "s", name) >= 0 && Call(bus, call.m, reply) &&
        sd_bus_message_read(reply.m, "b", &owned) >= 0 && owned;
}

// logind's inhibitor: a descriptor of our own, -1 if none was granted.
int TakeInhibitor(const std::string& reason)
{
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0)
        return -1;
    int fd = -1;
    Message call, reply;
    int given = -1;
    if (sd_bus_message_new_method_call(
            bus, &call.m, kLogin, "/org/freedesktop/login1", "org.freedesktop.login1.Manager", "Inhibit") >= 0 &&
        sd_bus_message_append(call.m, "ssss", kInhibitWhat, program_invocation_short_name, reason.c_str(), "block") >=
            0 &&
        Call(bus, call.m, reply) && sd_bus_message_read(reply.m, "h", &given) >= 0)
        fd = ::fcntl(given, F_DUPFD_CLOEXEC, 3); // the reply owns `given`
    sd_bus_flush_close_unref(bus);
    return fd;
}

// The portal's inhibition: its request's object path, empty if none. The
// inhibition lasts while `bus` stays connected or until it is closed.
std::string TakePortalInhibition(sd_bus* bus, const std::string& reason)
{
    if (!NameRunning(bus, kPortal))
        return {};
    Message call, reply;
    const char* handle = nullptr;
    if (sd_bus_message_new_method_call(bus, &call.m, kPortal, "/org/freedesktop/portal/desktop",
            "org.freedesktop.portal.Inhibit", "Inhibit") < 0 ||
        sd_bus_message_append(call.m, "su", "", kPortalFlags) < 0 ||
        sd_bus_message_append(call.m, "a{sv}", 1, "reason", "s", reason.c_str()) < 0 || !Call(bus, call.m, reply) ||
        sd_bus_message_read(reply.m, "o", &handle) < 0 || !handle)
        return {};
    return handle;
}

void WithdrawPortalInhibition(sd_bus* bus, const std::string& request)
{
    Message call, reply;
    if (sd_bus_message_new_method_call(
            bus, &call.m, kPortal, request.c_str(), "org.freedesktop.portal.Request", "Close") >= 0)
        Call(bus, call.m, reply);
}

} // namespace

struct SessionGuard::Held {
    int inhibitor = -1; // logind's descriptor; closing it ends the hold
    sd_bus* session = nullptr;
    std::string request; // the portal's request, on `session`
};

SessionGuard::SessionGuard(const std::string& reason) : m_held(std::make_unique<Held>())
{
    if (++g_guards == 1)
        NotifySessionHold(true);
    m_held->inhibitor = TakeInhibitor(reason);
    if (sd_bus_open_user(&m_held->session) >= 0) {
        m_held->request = TakePortalInhibition(m_held->session, reason);
        if (m_held->request.empty()) {
            sd_bus_flush_close_unref(m_held->session);
            m_held->session = nullptr;
        }
    } else {
        m_held->session = nullptr;
    }
}

SessionGuard::~SessionGuard()
{
    if (m_held->session) {
        WithdrawPortalInhibition(m_held->session, m_held->request);
        sd_bus_flush_close_unref(m_held->session);
    }
    if (m_held->inhibitor >= 0)
        ::close(m_held->inhibitor);
    if (--g_guards == 0)
        NotifySessionHold(false);
}

bool SessionEndRefused()
{
    return g_guards > 0;
}

void SetSessionWindow(void*)
{
    // The inhibitors need no window.
}

} // namespace platform
