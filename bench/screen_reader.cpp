// What a screen reader asks of the programs on the desktop, for the
// benchmark: on the accessibility bus it signs up for every object,
// window and focus event (so that the programs send them) and takes them
// as they come, and every `--every-ms` it reads every window of every
// program through: each object's name, role, states and interfaces, and
// the text of each object that has text. Runs until SIGTERM or SIGINT,
// then prints one line: "events N walks N objects N failed-calls N".
//
//   bench_screen_reader --address BUS-ADDRESS [--every-ms 2000]
#include <systemd/sd-bus.h>

#include <signal.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kAccessible = "org.a11y.atspi.Accessible";
constexpr const char* kText = "org.a11y.atspi.Text";

volatile sig_atomic_t g_stop = 0;

void OnStop(int)
{
    g_stop = 1;
}

struct Counts {
    long events = 0, walks = 0, objects = 0, failedCalls = 0;
};

struct Node {
    std::string bus, path;
};

// Calls `method` of `iface` on `node` with no arguments; null when it failed.
sd_bus_message* Call(sd_bus* bus, const Node& node, const char* iface, const char* method, Counts& counts)
{
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    if (sd_bus_call_method(bus, node.bus.c_str(), node.path.c_str(), iface, method, &error, &reply, "") < 0) {
        ++counts.failedCalls;
        reply = nullptr;
    }
    sd_bus_error_free(&error);
    return reply;
}

// The children of `node`, from a reply of type a(so).
std::vector<Node> Children(sd_bus* bus, const Node& node, Counts& counts)
{
    std::vector<Node> out;
    sd_bus_message* reply = Call(bus, node, kAccessible, "GetChildren", counts);
    if (!reply)
        return out;
    if (sd_bus_message_enter_container(reply, 'a', "(so)") > 0) {
        const char* name = nullptr;
        const char* path = nullptr;
        while (sd_bus_message_read(reply, "(so)", &name, &path) > 0)
            out.push_back({name, path});
    }
    sd_bus_message_unref(reply);
    return out;
}

// Reads what a screen reader reads of one object, then its children's.
void ReadObject(sd_bus* bus, const Node& node, Counts& counts, int depth)
{
    ++counts.objects;
    sd_bus_error error = SD_BUS_ERROR_NULL;
    char* name = nullptr;
    if (sd_bus_get_property_string(bus, node.bus.c_str(), node.path.c_str(), kAccessible, "Name", &error, &name) < 0)
        ++counts.failedCalls;
    std::free(name);
    sd_bus_error_free(&error);
    for (const char* method : {"GetRole", "GetState"})
        if (sd_bus_message* reply = Call(bus, node, kAccessible, method, counts))
            sd_bus_message_unref(reply);
    bool hasText = false;
    if (sd_bus_message* reply = Call(bus, node, kAccessible, "GetInterfaces", counts)) {
        char** names = nullptr;
        if (sd_bus_message_read_strv(reply, &names) >= 0 && names) {
            for (char** n = names; *n; ++n) {
                hasText = hasText || std::strcmp(*n, kText) == 0;
                std::free(*n);
            }
            std::free(names);
        }
        sd_bus_message_unref(reply);
    }
    if (hasText) {
        sd_bus_message* reply = nullptr;
        if (sd_bus_call_method(
                bus, node.bus.c_str(), node.path.c_str(), kText, "GetText", &error, &reply, "ii", 0, -1) < 0)
            ++counts.failedCalls;
        sd_bus_message_unref(reply);
        sd_bus_error_free(&error);
    }
    if (depth < 32)
        for (const Node& child : Children(bus, node, counts))
            ReadObject(bus, child, counts, depth + 1);
}

// Every window of every program on the bus, read through once.
void Walk(sd_bus* bus, Counts& counts)
{
    ++counts.walks;
    const Node root{"org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"};
    for (const Node& app : Children(bus, root, counts))
        ReadObject(bus, app, counts, 0);
}

int OnEvent(sd_bus_message*, void* userdata, sd_bus_error*)
{
    ++static_cast<Counts*>(userdata)->events;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    std::string address;
    long everyMs = 2000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--address") == 0)
            address = argv[i + 1];
        else if (std::strcmp(argv[i], "--every-ms") == 0)
            everyMs = std::atol(argv[i + 1]);
    }
    if (address.empty() || everyMs <= 0) {
        std::fprintf(stderr, "usage: bench_screen_reader --address BUS-ADDRESS [--every-ms MS]\n");
        return 2;
    }
    struct sigaction stop { };
    stop.sa_handler = OnStop; // no SA_RESTART: the wait below returns
    sigaction(SIGTERM, &stop, nullptr);
    sigaction(SIGINT, &stop, nullptr);

    sd_bus* bus = nullptr;
    int r = sd_bus_new(&bus);
    if (r >= 0)
        r = sd_bus_set_address(bus, address.c_str());
    if (r >= 0)
        r = sd_bus_set_bus_client(bus, 1);
    if (r >= 0)
        r = sd_bus_start(bus);
    if (r < 0) {
        std::fprintf(stderr, "bench_screen_reader: cannot connect to %s: %s\n", address.c_str(), std::strerror(-r));
        return 1;
    }
    Counts counts;
    for (const char* kind : {"Object", "Window", "Focus"}) {
        const std::string rule = std::string("type='signal',interface='org.a11y.atspi.Event.") + kind + "'";
        sd_bus_add_match(bus, nullptr, rule.c_str(), OnEvent, &counts);
    }
    for (const char* event : {"object:", "window:", "focus:"}) {
        sd_bus_error error = SD_BUS_ERROR_NULL;
        if (sd_bus_call_method(bus, "org.a11y.atspi.Registry", "/org/a11y/atspi/registry", "org.a11y.atspi.Registry",
                "RegisterEvent", &error, nullptr, "sass", event, 0, "") < 0)
            ++counts.failedCalls;
        sd_bus_error_free(&error);
    }

    auto next = Clock::now();
    while (!g_stop) {
        if (Clock::now() >= next) {
            Walk(bus, counts);
            next += std::chrono::milliseconds(everyMs);
        }
        while (sd_bus_process(bus, nullptr) > 0) { }
        const auto left = std::chrono::duration_cast<std::chrono::microseconds>(next - Clock::now()).count();
        if (left > 0)
            sd_bus_wait(bus, static_cast<uint64_t>(left));
    }
    std::printf("events %ld walks %ld objects %ld failed-calls %ld\n", counts.events, counts.walks, counts.objects,
        counts.failedCalls);
    sd_bus_flush_close_unref(bus);
    return 0;
}
