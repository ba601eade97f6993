// The COM numbering rule.
#include "platform/serial/port_map.h"

#include <algorithm>
#include <cctype>

namespace serial {

namespace {

bool IsDigit(char c)
{
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Compares two runs of digits as numbers: -1, 0 or 1.
int CompareNumbers(const std::string& a, size_t& i, const std::string& b, size_t& j)
{
    size_t ai = i, bj = j;
    while (i < a.size() && IsDigit(a[i]))
        ++i;
    while (j < b.size() && IsDigit(b[j]))
        ++j;
    // Leading zeros do not count.
    while (ai + 1 < i && a[ai] == '0')
        ++ai;
    while (bj + 1 < j && b[bj] == '0')
        ++bj;
    if (i - ai != j - bj)
        return i - ai < j - bj ? -1 : 1;
    int c = a.compare(ai, i - ai, b, bj, j - bj);
    return c < 0 ? -1 : c > 0 ? 1 : 0;
}

// Ports with a physical path come first, in its order; the device node
// decides between equals and among ports without one.
bool PhysicalOrder(const PortInfo& a, const PortInfo& b)
{
    if (a.physicalPath.empty() != b.physicalPath.empty())
        return !a.physicalPath.empty();
    if (a.physicalPath != b.physicalPath)
        return NaturalLess(a.physicalPath, b.physicalPath);
    return NaturalLess(a.node, b.node);
}

} // namespace

std::string PortSummary(const PortInfo& p)
{
    std::string what = p.driver;
    if (!p.usbVendor.empty())
        what += (what.empty() ? "USB " : ", USB ") + p.usbVendor + ":" + p.usbProduct;
    if (!p.productName.empty())
        what += (what.empty() ? "" : " ") + p.productName;
    if (p.latencyTimerMs >= 0)
        what += (what.empty() ? "latency timer " : ", latency timer ") + std::to_string(p.latencyTimerMs) + " ms";
    return what;
}

std::string PortListLine(
    const std::string& name, const std::string& device, const std::string& what, const std::string& remark)
{
    std::string line = name + "  " + device;
    if (!what.empty())
        line += "  " + what;
    return line + "  (" + remark + ")";
}

std::string LatencyTimerAdvice(int ms)
{
    if (ms <= 1)
        return {};
    // The loader answers each of an image's 512 packets with one byte.
    const int worstSeconds = (512 * ms + 500) / 1000;
    return "its latency timer of " + std::to_string(ms) + " ms holds each reply of the modem and can add up to " +
        std::to_string(worstSeconds) +
        " s to an upgrade: set it to 1 in Device Manager, the port's Properties, "
        "Port Settings, Advanced, Latency Timer";
}

bool NaturalLess(const std::string& a, const std::string& b)
{
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (IsDigit(a[i]) && IsDigit(b[j])) {
            if (int c = CompareNumbers(a, i, b, j); c != 0)
                return c < 0;
            continue;
        }
        if (a[i] != b[j])
            return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[j]);
        ++i;
        ++j;
    }
    return a.size() - i < b.size() - j;
}

ComMap NumberPorts(const std::vector<PortInfo>& ports, const std::array<PortOverride, kComPorts>& overrides)
{
    ComMap map;
    for (int n = 0; n < kComPorts; ++n)
        if (!overrides[n].path.empty()) {
            map[n].path = overrides[n].path;
            map[n].overridden = true;
        }
    auto named = [&](const PortInfo& p) {
        return std::any_of(overrides.begin(), overrides.end(),
            [&](const PortOverride& o) { return !o.node.empty() && o.node == p.node; });
    };
    auto take = [&](int n, const PortInfo& p) {
        map[n].path = p.node;
        map[n].port = p;
    };

    std::vector<PortInfo> rest;
    for (const PortInfo& p : ports) {
        if (!p.hardware || p.node.empty() || named(p))
            continue;
        if (p.uart >= 0 && p.uart < kComPorts && map[p.uart].path.empty())
            take(p.uart, p);
        else
            rest.push_back(p);
    }
    std::stable_sort(rest.begin(), rest.end(), PhysicalOrder);
    int n = 0;
    for (const PortInfo& p : rest) {
        while (n < kComPorts && !map[n].path.empty())
            ++n;
        if (n == kComPorts)
            break;
        take(n, p);
    }
    for (int k = 0; k < kComPorts; ++k)
        if (map[k].overridden)
            for (const PortInfo& p : ports)
                if (!overrides[k].node.empty() && p.node == overrides[k].node)
                    map[k].port = p; // say what the named device is
    return map;
}

} // namespace serial
