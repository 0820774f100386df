#include "deploy/device_connection.h"

#include "deploy/recording_listener.h"

#include <gtest/gtest.h>

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
