// Tests on the real telephony path against our telephony stand-in (CTest
// wine.unit runs them with WINEDLLOVERRIDES=tapi32=n and the dll beside the
// test program): each test describes the stand-in's world, and telephony is
// shut down and cleared after it.
#pragma once

#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "link/telephony.h"
#include "test_dir.h"

inline bool StandinInUse()
{
    char overrides[512] = {};
    const DWORD length = GetEnvironmentVariableA("WINEDLLOVERRIDES", overrides, sizeof overrides);
    return length > 0 && length < sizeof overrides && std::strstr(overrides, "tapi32=n") != nullptr;
}

class StandinTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!StandinInUse()) GTEST_SKIP() << "needs the telephony stand-in: run by CTest wine.unit";
        ClearTelephonyState();
    }
    void TearDown() override
    {
        TapiShutdown();
        ClearTelephonyState();
        SetEnvironmentVariableA("VARNOLT_TAPI_STANDIN", nullptr);
    }

    // A new telephony world for the next initialisation, with an empty log.
    void World(const std::string& lines)
    {
        DeleteFileA(log.c_str());
        WriteWholeFile(ini, "log = " + log + "\n" + lines);
        SetEnvironmentVariableA("VARNOLT_TAPI_STANDIN", ini.c_str());
    }

    TestDir dir;
    const std::string ini = dir.File("standin.ini");
    const std::string log = dir.File("tapi.log");
};
