#include "deploy/device_connection.h"

#include "deploy/recording_listener.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <vector>

using namespace telvo;
using telvo::test::TRecordingListener;

TEST(DeviceConnection, LinesArriveBackToBackAndNothingIsLostOnClose)
{
    TRecordingListener device;
    TPosixDeviceConnection c;
    std::vector<int> outcomes;
    c.OnConnected = [&](int e) { outcomes.push_back(e); };
    c.SetAddress("127.0.0.1");
    c.SetPort(device.Port());
    c.Connect();
    EXPECT_EQ(c.WaitForOutcome(), 0);
    ASSERT_EQ(outcomes, std::vector<int>{0});
    EXPECT_EQ(c.State(), TDeviceConnection::TState::Connected);
    c.SendText("A");
    c.SendText("B");
    // A large line right before the close must still arrive whole.
    std::string big(4 << 20, 'x');
    c.SendText(big);
    c.Close();
    EXPECT_EQ(c.State(), TDeviceConnection::TState::Closed);
    EXPECT_EQ(c.SendError(), 0);
    EXPECT_EQ(device.Received(), "AB" + big);
}

TEST(DeviceConnection, FailedAttemptsAreReportedOnceAndLeaveTheObjectUsable)
{
    struct Case {
        std::string address, port;
    } cases[] = {
        {"127.0.0.1", test::ClosedPort()},  // nothing listens
        {"", "61499"},                      // no address
        {"127.0.0.1", "abc"},               // port not a number
        {"127.0.0.1", "70000"},             // port out of range
        {test::kUnresolvableHost, "61499"}, // cannot be resolved
    };
    TPosixDeviceConnection c;
    for (const auto& k : cases) {
        int calls = 0, code = 0;
        c.OnConnected = [&](int e) {
            ++calls;
            code = e;
        };
        c.SetAddress(k.address);
        c.SetPort(k.port);
        c.Connect();
        c.WaitForOutcome();
        EXPECT_EQ(calls, 1) << k.address << ":" << k.port;
        EXPECT_NE(code, 0) << k.address << ":" << k.port;
        EXPECT_EQ(c.State(), TDeviceConnection::TState::Closed);
        c.SendText("ignored"); // sending while closed does nothing
    }
    // The same object then reaches a real device.
    TRecordingListener device;
    c.OnConnected = nullptr;
    c.SetAddress("localhost");
    c.SetPort(device.Port());
    c.Connect();
    EXPECT_EQ(c.WaitForOutcome(), 0);
    c.SendText("X");
    c.Close();
    EXPECT_EQ(device.Received(), "X");
}

TEST(DeviceConnection, ADeviceThatClosesAtOnceDoesNotHangTheSender)
{
    TRecordingListener device(/*closeAtOnce=*/true);
    TPosixDeviceConnection c;
    c.SetAddress("127.0.0.1");
    c.SetPort(device.Port());
    c.Connect();
    ASSERT_EQ(c.WaitForOutcome(), 0);
    device.Received(); // the device is gone
    for (int i = 0; i < 100; ++i)
        c.SendText(std::string(64 * 1024, 'y'));
    c.Close();
    // The loss is known, and stays known after the close.
    EXPECT_NE(c.SendError(), 0);
    // The next connection starts with a clean slate.
    TRecordingListener next;
    c.SetPort(next.Port());
    c.Connect();
    ASSERT_EQ(c.WaitForOutcome(), 0);
    EXPECT_EQ(c.SendError(), 0);
    c.SendText("Z");
    c.Close();
    EXPECT_EQ(c.SendError(), 0);
    EXPECT_EQ(next.Received(), "Z");
}

TEST(DeviceConnection, ConnectClosesThePreviousConnectionFirst)
{
    TRecordingListener first, second;
    TPosixDeviceConnection c;
    c.SetAddress("127.0.0.1");
    c.SetPort(first.Port());
    c.Connect();
    ASSERT_EQ(c.WaitForOutcome(), 0);
    c.SendText("1");
    c.SetPort(second.Port());
    c.Connect();
    EXPECT_EQ(first.Received(), "1"); // closed by the new attempt
    ASSERT_EQ(c.WaitForOutcome(), 0);
    c.SendText("2");
    c.Close();
    EXPECT_EQ(second.Received(), "2");
}

TEST(DeviceConnection, ADeviceThatNeverAcceptsFailsAfterTheConnectTimeOut)
{
    test::TUnansweringDevice device;
    TPosixDeviceConnection c;
    EXPECT_EQ(c.ConnectTimeoutMs, 10000); // the system alone would wait minutes
    c.ConnectTimeoutMs = 300;
    std::vector<int> outcomes;
    c.OnConnected = [&](int e) { outcomes.push_back(e); };
    c.SetAddress("127.0.0.1");
    c.SetPort(device.Port());
    const auto start = std::chrono::steady_clock::now();
    c.Connect();
    EXPECT_FALSE(c.Poll(0)); // still trying, and the caller was not held
    EXPECT_EQ(c.WaitForOutcome(), ETIMEDOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_EQ(outcomes, std::vector<int>{ETIMEDOUT});
    EXPECT_EQ(c.State(), TDeviceConnection::TState::Closed);
}

TEST(DeviceConnection, ADeviceThatStopsReadingEndsTheSendingWithoutHoldingTheCaller)
{
    test::TDeafDevice device;
    TPosixDeviceConnection c;
    c.StallTimeoutMs = 300;
    c.SetAddress("127.0.0.1");
    c.SetPort(device.Port());
    c.Connect();
    ASSERT_EQ(c.WaitForOutcome(), 0);
    // More than the buffers of both ends hold.
    c.SendText(std::string(64 << 20, 'z'));
    int calls = 0;
    const auto start = std::chrono::steady_clock::now();
    c.CloseWhenSent([&] { ++calls; });
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(c.Pending());
    c.WaitForOutcome();
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(c.SendError(), ETIMEDOUT);
    EXPECT_EQ(c.State(), TDeviceConnection::TState::Closed);

    // A device that reads gets everything through the same close. Its reader
    // thread may be kept off the CPU for a while on a loaded machine: that is
    // not a stall, so this part runs with the usual time-out.
    c.StallTimeoutMs = 10000;
    TRecordingListener reader;
    c.SetPort(reader.Port());
    c.Connect();
    ASSERT_EQ(c.WaitForOutcome(), 0);
    const std::string big(8 << 20, 'r');
    c.SendText(big);
    c.CloseWhenSent([&] { ++calls; });
    c.WaitForOutcome();
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(c.SendError(), 0);
    EXPECT_EQ(reader.Received(), big);
}

TEST(DeviceConnection, EndpointsThatCannotBeTriedSayWhy)
{
    const struct {
        const char* address;
        const char* port;
        const char* reason; // empty: fine
    } cases[] = {
        {"127.0.0.1", "61499", ""},
        {"localhost", "1", ""},
        {"10.0.0.1", "65535", ""},
        {"", "61499", "no IP address is set"},
        {"  ", "61499", "no IP address is set"},
        {"127.0.0.1", "", "no port is set"},
        {"127.0.0.1", "0", "the port \"0\" is no number from 1 to 65535"},
        {"127.0.0.1", "65536", "the port \"65536\" is no number from 1 to 65535"},
        {"127.0.0.1", "-1", "the port \"-1\" is no number from 1 to 65535"},
        {"127.0.0.1", "6l499", "the port \"6l499\" is no number from 1 to 65535"},
    };
    for (const auto& k : cases)
        EXPECT_EQ(TDeviceConnection::CheckEndpoint(k.address, k.port), k.reason) << k.address << ":" << k.port;
}
