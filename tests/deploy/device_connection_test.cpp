#include "deploy/device_connection.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace telvo;

namespace {

// A listener on 127.0.0.1 that accepts one connection and records every
// byte until the peer closes; or, with closeAtOnce, closes right away.
class TRecordingListener {
public:
    explicit TRecordingListener(bool closeAtOnce = false)
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(fd_, 4);
        socklen_t len = sizeof a;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this, closeAtOnce] {
            int c = ::accept(fd_, nullptr, nullptr);
            if (c < 0)
                return;
            if (!closeAtOnce) {
                char buf[4096];
                for (ssize_t n; (n = ::read(c, buf, sizeof buf)) > 0;)
                    received_.append(buf, static_cast<size_t>(n));
            }
            ::close(c);
        });
    }
    ~TRecordingListener()
    {
        ::shutdown(fd_, SHUT_RDWR);
        ::close(fd_);
        if (thread_.joinable())
            thread_.join();
    }
    std::string Port() const { return std::to_string(port_); }
    // Waits for the peer to close, then returns everything it sent.
    std::string Received()
    {
        thread_.join();
        return received_;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::string received_;
};

std::string closedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return std::to_string(ntohs(a.sin_port));
}

} // namespace

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
    EXPECT_EQ(device.Received(), "AB" + big);
}

TEST(DeviceConnection, FailedAttemptsAreReportedOnceAndLeaveTheObjectUsable)
{
    struct Case {
        const char* address;
        std::string port;
    } cases[] = {
        {"127.0.0.1", closedPort()},       // nothing listens
        {"", "61499"},                     // no address
        {"127.0.0.1", "abc"},              // port not a number
        {"127.0.0.1", "70000"},            // port out of range
        {"no-such-device.invalid", "61499"}, // cannot be resolved
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
    SUCCEED();
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
