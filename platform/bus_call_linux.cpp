#include "platform/bus_call_linux.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "platform/pause.h"

namespace platform {

namespace {

struct Pending {
    bool done = false;
    int result = 0;
    sd_bus_message* reply = nullptr;
    sd_bus_error error = SD_BUS_ERROR_NULL;
};

int OnReply(sd_bus_message* m, void* userdata, sd_bus_error*)
{
    auto* p = static_cast<Pending*>(userdata);
    p->done = true;
    if (const sd_bus_error* e = sd_bus_message_get_error(m)) {
        sd_bus_error_copy(&p->error, e);
        const int err = sd_bus_message_get_errno(m);
        p->result = -(err > 0 ? err : EIO);
    } else {
        p->reply = sd_bus_message_ref(m);
        p->result = 1;
    }
    return 0;
}

// Handles what the bus has ready; true once the reply is in (or the bus failed).
bool ProcessReady(sd_bus* bus, Pending& p)
{
    while (!p.done) {
        const int r = sd_bus_process(bus, nullptr);
        if (r < 0) {
            p.done = true;
            p.result = r;
            sd_bus_error_set_errno(&p.error, r);
        }
        if (r <= 0)
            break;
    }
    return p.done;
}

} // namespace

int CallAnswering(sd_bus* bus, sd_bus_message* call, uint64_t timeoutUs, sd_bus_error* error, sd_bus_message** reply)
{
    *reply = nullptr;
    timeoutUs = std::min(timeoutUs == 0 ? kBusWaitLimitUs : timeoutUs, kBusWaitLimitUs);
    Pending p;
    sd_bus_slot* slot = nullptr;
    int r = sd_bus_call_async(bus, &slot, call, OnReply, &p, timeoutUs);
    if (r < 0)
        return sd_bus_error_set_errno(error, r);
    // The bus reports its own time-out as an error reply; the pause's limit,
    // a little longer, is only a backstop.
    const unsigned ms = static_cast<unsigned>(timeoutUs / 1000) + 100;
    PauseUnless(ms, [&](unsigned slice) {
        // The whole slice, unless the reply comes: other traffic may wake us.
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(slice);
        while (!ProcessReady(bus, p)) {
            const auto left =
                std::chrono::duration_cast<std::chrono::microseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            const int w = sd_bus_wait(bus, static_cast<uint64_t>(left.count()));
            if (w < 0 && w != -EINTR) {
                p.done = true;
                p.result = w;
                sd_bus_error_set_errno(&p.error, w);
            }
        }
        return true;
    });
    sd_bus_slot_unref(slot); // no callback into `p` after this
    if (!p.done) {
        p.result = -ETIMEDOUT;
        sd_bus_error_set_errno(&p.error, p.result);
    }
    if (p.result < 0) {
        sd_bus_error_move(error, &p.error);
        sd_bus_error_free(&p.error);
        return p.result;
    }
    *reply = p.reply;
    return p.result;
}

} // namespace platform
