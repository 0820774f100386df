#pragma once
// Devices for the deployment tests: real listeners on 127.0.0.1.

#include <arpa/inet.h>
#include <atomic>
#include <cstdint>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace telvo::test {

// A listening TCP socket on 127.0.0.1 at a port the system picks, returned in
// `port`; a receive buffer of `receiveBuffer` bytes when not 0.
inline int ListenOnLoopback(int backlog, uint16_t& port, int receiveBuffer = 0)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (receiveBuffer > 0)
        ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, backlog);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

// A listener on 127.0.0.1 that accepts one connection and records every
// byte until the peer closes; or, with closeAtOnce, closes right away.
class TRecordingListener {
public:
    explicit TRecordingListener(bool closeAtOnce = false)
    {
        fd_ = ListenOnLoopback(4, port_);
        // The accept loop gets its own copy of the descriptor: Stop() changes
        // fd_ while the loop may still be in accept().
        thread_ = std::thread([this, fd = fd_, closeAtOnce] {
            int c = ::accept(fd, nullptr, nullptr);
            if (c < 0)
                return;
            accepted_ = true;
            if (!closeAtOnce) {
                char buf[4096];
                for (ssize_t n; (n = ::read(c, buf, sizeof buf)) > 0;)
                    received_.append(buf, static_cast<size_t>(n));
            }
            ::close(c);
        });
    }
    ~TRecordingListener() { Stop(); }
    TRecordingListener(const TRecordingListener&) = delete;
    TRecordingListener& operator=(const TRecordingListener&) = delete;

    std::string Port() const { return std::to_string(port_); }
    // Waits for the peer to close, then returns everything it sent.
    std::string Received()
    {
        if (thread_.joinable())
            thread_.join();
        return received_;
    }
    // Stops listening; true when a device connection was accepted before.
    bool Stop()
    {
        // Shutting the listening socket down wakes a waiting accept(); it is
        // closed only once the loop is over, so that its number cannot be
        // reused under the loop's feet.
        if (fd_ >= 0)
            ::shutdown(fd_, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
        if (fd_ >= 0) {
            ::close(fd_);
            fd_ = -1;
        }
        return accepted_;
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::atomic<bool> accepted_{false};
    std::string received_;
};

// A host name that cannot be resolved, and whose lookup never leaves the
// machine: a label of 64 characters is one more than a DNS name may hold, so
// the resolver refuses it before asking any server.
inline const std::string kUnresolvableHost = "no-such-device." + std::string(64, 'x') + ".invalid";

// A device on 127.0.0.1 that never accepts: its listener's queue is full
// (the connections that filled it are never taken), so further connection
// attempts get no answer at all.
class TUnansweringDevice {
public:
    TUnansweringDevice()
    {
        fd_ = ListenOnLoopback(0, port_);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(port_);
        for (int& c : fillers_) {
            c = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
            ::connect(c, reinterpret_cast<sockaddr*>(&a), sizeof a);
        }
        ::usleep(50000); // the fillers' handshakes complete
    }
    ~TUnansweringDevice()
    {
        for (int c : fillers_)
            ::close(c);
        ::close(fd_);
    }
    TUnansweringDevice(const TUnansweringDevice&) = delete;
    TUnansweringDevice& operator=(const TUnansweringDevice&) = delete;
    std::string Port() const { return std::to_string(port_); }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
    int fillers_[3] = {-1, -1, -1};
};

// A device on 127.0.0.1 that accepts and then never reads.
class TDeafDevice {
public:
    TDeafDevice()
    {
        fd_ = ListenOnLoopback(4, port_, 4096);
    }
    ~TDeafDevice() { ::close(fd_); }
    TDeafDevice(const TDeafDevice&) = delete;
    TDeafDevice& operator=(const TDeafDevice&) = delete;
    std::string Port() const { return std::to_string(port_); }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

// A port on 127.0.0.1 where nothing listens.
inline std::string ClosedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return std::to_string(ntohs(a.sin_port));
}

} // namespace telvo::test
