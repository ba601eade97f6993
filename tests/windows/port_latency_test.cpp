// An adapter's latency timer as the port list reads it from the registry:
// a device parameters key made for the test under HKEY_CURRENT_USER.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/serial/port_list_win.h"
#include "tests/windows/sim_cases.h"

namespace {

constexpr const char* kKey = "Software\\QuilvexTest\\Device Parameters";

// The key, made afresh and removed at the end.
class ParametersKey {
public:
    ParametersKey()
    {
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        ::RegCreateKeyExA(HKEY_CURRENT_USER, kKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    }
    ~ParametersKey()
    {
        if (key)
            ::RegCloseKey(key);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, kKey);
        ::RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\QuilvexTest");
    }
    bool SetDword(DWORD value)
    {
        return ::RegSetValueExA(key, "LatencyTimer", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                   sizeof value) == ERROR_SUCCESS;
    }
    HKEY key = nullptr;
};

QX_SIM_CASE(WinPorts, LatencyTimerIsReadFromTheDeviceParameters)
{
    ParametersKey params;
    ASSERT_NE(params.key, nullptr);
    EXPECT_EQ(serial::RegistryLatencyTimer(params.key), -1) << "no value: not such an adapter";
    ASSERT_TRUE(params.SetDword(16));
    EXPECT_EQ(serial::RegistryLatencyTimer(params.key), 16);
    ASSERT_TRUE(params.SetDword(1));
    EXPECT_EQ(serial::RegistryLatencyTimer(params.key), 1);
    const char text[] = "16";
    ASSERT_EQ(::RegSetValueExA(params.key, "LatencyTimer", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof text),
        ERROR_SUCCESS);
    EXPECT_EQ(serial::RegistryLatencyTimer(params.key), -1) << "a text is not the driver's value";
}

} // namespace
