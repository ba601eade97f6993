// ModemManager on the system bus, through sd-bus. It is asked to inhibit
// the modem whose ports include ours, the way firmware-update services do
// for the modems they flash; the inhibition ends when we ask, or when our
// bus connection goes away with the process.
#include "platform/modem_guard.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <systemd/sd-bus.h>
#include <vector>

#include "platform/bus_call_linux.h"

namespace platform {

namespace {

constexpr char kService[] = "org.freedesktop.ModemManager1";
constexpr char kPath[] = "/org/freedesktop/ModemManager1";
constexpr char kModemInterface[] = "org.freedesktop.ModemManager1.Modem";
constexpr uint64_t kQueryTimeoutUs = 5'000'000;
// The service may have the user asked for a password first; the desktop
// is answered meanwhile, and a prompt left unanswered counts as a refusal.
constexpr uint64_t kInhibitTimeoutUs = kBusWaitLimitUs;

struct Held {
    sd_bus* bus = nullptr;
    std::string uid;
};

// Never destroyed: the port may be closed, and the guard released, by
// another object's destructor at the very end of the program.
Held& Current()
{
    static Held* held = new Held;
    return *held;
}

struct Error {
    sd_bus_error e = SD_BUS_ERROR_NULL;
    ~Error() { sd_bus_error_free(&e); }
    std::string Text(int r) const
    {
        if (e.message && *e.message)
            return e.message;
        if (e.name)
            return e.name;
        return std::strerror(-r);
    }
};

struct Message {
    sd_bus_message* m = nullptr;
    ~Message() { sd_bus_message_unref(m); }
};

// Calls `method` of `interface` with no arguments, or with one string
// `arg`, waiting as a pause does. Returns >= 0 with `reply` set.
int CallMethod(sd_bus* bus, const char* service, const char* path, const char* interface, const char* method,
    const char* arg, Error& error, Message& reply)
{
    Message call;
    int r = sd_bus_message_new_method_call(bus, &call.m, service, path, interface, method);
    if (r >= 0 && arg)
        r = sd_bus_message_append(call.m, "s", arg);
    if (r >= 0)
        r = CallAnswering(bus, call.m, kQueryTimeoutUs, &error.e, &reply.m);
    return r;
}

bool ServiceRunning(sd_bus* bus)
{
    Error error;
    Message reply;
    int owned = 0;
    return CallMethod(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
               kService, error, reply) >= 0 &&
        sd_bus_message_read(reply.m, "b", &owned) >= 0 && owned;
}

// Reads a modem's properties (a{sv}): its device uid and port names.
bool ReadModem(sd_bus_message* m, std::string& uid, std::vector<std::string>& ports)
{
    if (sd_bus_message_enter_container(m, 'a', "{sv}") < 0)
        return false;
    int r;
    while ((r = sd_bus_message_enter_container(m, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if (sd_bus_message_read(m, "s", &key) < 0)
            return false;
        if (std::strcmp(key, "Device") == 0) {
            const char* value = nullptr;
            if (sd_bus_message_read(m, "v", "s", &value) < 0)
                return false;
            uid = value;
        } else if (std::strcmp(key, "Ports") == 0) {
            if (sd_bus_message_enter_container(m, 'v', "a(su)") < 0 ||
                sd_bus_message_enter_container(m, 'a', "(su)") < 0)
                return false;
            const char* name = nullptr;
            uint32_t type = 0;
            while ((r = sd_bus_message_read(m, "(su)", &name, &type)) > 0)
                ports.push_back(name);
            if (r < 0 || sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0)
                return false;
        } else if (sd_bus_message_skip(m, "v") < 0) {
            return false;
        }
        if (sd_bus_message_exit_container(m) < 0)
            return false;
    }
    return r >= 0 && sd_bus_message_exit_container(m) >= 0;
}

// The device uid of the modem one of whose ports is `portName`; empty when
// the service manages no such modem (or cannot be asked).
std::string ModemUidFor(sd_bus* bus, const std::string& portName)
{
    Error error;
    Message reply;
    if (CallMethod(
            bus, kService, kPath, "org.freedesktop.DBus.ObjectManager", "GetManagedObjects", nullptr, error, reply) < 0)
        return {};
    sd_bus_message* m = reply.m;
    if (sd_bus_message_enter_container(m, 'a', "{oa{sa{sv}}}") < 0)
        return {};
    while (sd_bus_message_enter_container(m, 'e', "oa{sa{sv}}") > 0) {
        const char* object = nullptr;
        if (sd_bus_message_read(m, "o", &object) < 0 || sd_bus_message_enter_container(m, 'a', "{sa{sv}}") < 0)
            return {};
        while (sd_bus_message_enter_container(m, 'e', "sa{sv}") > 0) {
            const char* interface = nullptr;
            if (sd_bus_message_read(m, "s", &interface) < 0)
                return {};
            if (std::strcmp(interface, kModemInterface) == 0) {
                std::string uid;
                std::vector<std::string> ports;
                if (!ReadModem(m, uid, ports))
                    return {};
                for (const std::string& p : ports)
                    if (p == portName && !uid.empty())
                        return uid;
            } else if (sd_bus_message_skip(m, "a{sv}") < 0) {
                return {};
            }
            if (sd_bus_message_exit_container(m) < 0)
                return {};
        }
        if (sd_bus_message_exit_container(m) < 0 || sd_bus_message_exit_container(m) < 0)
            return {};
    }
    return {};
}

// The kernel's name of the device at `path` (ttyACM0 for a by-id link).
std::string KernelName(const std::string& path)
{
    std::string real = path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        real = resolved;
        std::free(resolved);
    }
    size_t slash = real.rfind('/');
    return slash == std::string::npos ? real : real.substr(slash + 1);
}

int Inhibit(sd_bus* bus, const std::string& uid, bool on, uint64_t timeoutUs, Error& error)
{
    Message call, reply;
    int r = sd_bus_message_new_method_call(bus, &call.m, kService, kPath, kService, "InhibitDevice");
    if (r >= 0)
        r = sd_bus_message_append(call.m, "sb", uid.c_str(), on ? 1 : 0);
    if (r >= 0)
        r = sd_bus_message_set_allow_interactive_authorization(call.m, 1);
    if (r >= 0)
        r = CallAnswering(bus, call.m, timeoutUs, &error.e, &reply.m);
    return r;
}

} // namespace

ModemGuard GuardModem(const std::string& devicePath)
{
    ReleaseModemGuard();
    ModemGuard result;
    sd_bus* bus = nullptr;
    // No system bus (a container, say): there is no modem manager either.
    if (sd_bus_open_system(&bus) < 0)
        return result;
    std::string uid;
    // Asking a service that is not running could start it; ask only a running one.
    if (ServiceRunning(bus))
        uid = ModemUidFor(bus, KernelName(devicePath));
    if (uid.empty()) {
        sd_bus_flush_close_unref(bus);
        return result;
    }
    Error error;
    int r = Inhibit(bus, uid, true, kInhibitTimeoutUs, error);
    if (r < 0) {
        result.state = ModemGuard::State::Refused;
        result.reason = error.Text(r);
        sd_bus_flush_close_unref(bus);
        return result;
    }
    Current().bus = bus;
    Current().uid = uid;
    result.state = ModemGuard::State::Guarded;
    return result;
}

void ReleaseModemGuard()
{
    Held& held = Current();
    if (!held.bus)
        return;
    Error error;
    Inhibit(held.bus, held.uid, false, kQueryTimeoutUs, error); // closing the connection ends it anyway
    sd_bus_flush_close_unref(held.bus);
    held.bus = nullptr;
    held.uid.clear();
}

} // namespace platform
