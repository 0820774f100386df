#include "deploy/device_connection.h"

#include "model/value_text.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace telvo {

namespace {
// Error codes of attempts that never reached a socket.
constexpr int kUnresolvedAddress = EHOSTUNREACH;
constexpr int kBadPort = EINVAL;

long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool validPort(const std::string& port, int32_t& value)
{
    return TryParseInteger(port, value) && value >= 1 && value <= 65535;
}
} // namespace

std::string TDeviceConnection::CheckEndpoint(const std::string& address, const std::string& port)
{
    if (address.find_first_not_of(" \t") == std::string::npos)
        return "no IP address is set";
    int32_t value = 0;
    if (port.empty())
        return "no port is set";
    if (!validPort(port, value))
        return "the port \"" + port + "\" is no number from 1 to 65535";
    return {};
}

TPosixDeviceConnection::~TPosixDeviceConnection()
{
    drained_ = nullptr;
    Close();
}

void TPosixDeviceConnection::Close()
{
    // A close while a CloseWhenSent still waits on a slow device gives the
    // set up: the caller is going away and must not be held.
    if (draining_)
        pending_.clear();
    if (fd_ >= 0) {
        if (state_ == TState::Connected) {
            flush(true);
            // A reset that arrived after the last send is still pending on
            // the socket; a reset connection cannot be shut down at all.
            int err = 0;
            socklen_t len = sizeof err;
            if (sendError_ == 0 && ::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err != 0)
                sendError_ = err;
            if (::shutdown(fd_, SHUT_WR) != 0 && sendError_ == 0 && errno == ENOTCONN)
                sendError_ = ECONNRESET;
        }
        ::close(fd_);
        fd_ = -1;
    }
    pending_.clear();
    state_ = TState::Closed;
    notifyPending_ = false;
    draining_ = false;
    drained_ = nullptr;
}

void TPosixDeviceConnection::Connect()
{
    Close();
    state_ = TState::Connecting;
    notifyPending_ = true;
    sendError_ = 0;

    int32_t port = 0;
    if (!validPort(Port, port)) {
        lastError_ = kBadPort;
        return;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    if (Address.empty() || ::getaddrinfo(Address.c_str(), nullptr, &hints, &found) != 0 || !found) {
        lastError_ = kUnresolvedAddress;
        return;
    }
    sockaddr_in addr{};
    std::memcpy(&addr, found->ai_addr, sizeof addr);
    ::freeaddrinfo(found);
    addr.sin_port = htons(static_cast<uint16_t>(port));

    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd_ < 0) {
        lastError_ = errno;
        return;
    }
    int one = 1;
    ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    deadline_ = nowMs() + ConnectTimeoutMs;
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        lastError_ = 0;
        return;
    }
    lastError_ = errno == EINPROGRESS ? -1 : errno;
}

int TPosixDeviceConnection::remainingMs(int timeoutMs, long long deadline) const
{
    long long left = deadline - nowMs();
    if (left < 0)
        left = 0;
    if (timeoutMs >= 0 && timeoutMs < left)
        return timeoutMs;
    return static_cast<int>(left > INT_MAX ? INT_MAX : left);
}

bool TPosixDeviceConnection::Poll(int timeoutMs)
{
    if (draining_) {
        pollfd p{fd_, POLLOUT, 0};
        const int n = ::poll(&p, 1, remainingMs(timeoutMs, deadline_));
        if (n < 0 && errno != EINTR) {
            sendError_ = errno;
            pending_.clear();
        } else if (n > 0) {
            const size_t before = pending_.size();
            flush(false);
            if (pending_.size() != before)
                deadline_ = nowMs() + StallTimeoutMs;
        }
        if (draining_ && !pending_.empty() && nowMs() >= deadline_) {
            if (sendError_ == 0)
                sendError_ = ETIMEDOUT;
            pending_.clear();
        }
        if (pending_.empty())
            finishDrain();
        return !Pending();
    }
    if (!notifyPending_)
        return true;
    if (lastError_ == -1 && fd_ >= 0) {
        pollfd p{fd_, POLLOUT, 0};
        int n = ::poll(&p, 1, remainingMs(timeoutMs, deadline_));
        if (n < 0 && errno == EINTR)
            return false;
        if (n == 0) {
            // A device that never answers the attempt: the system would
            // retry for minutes.
            if (nowMs() < deadline_)
                return false;
            finishAttempt(ETIMEDOUT);
            return !Pending();
        }
        int err = 0;
        socklen_t len = sizeof err;
        if (n < 0)
            err = errno;
        else if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &err, &len) != 0)
            err = errno;
        finishAttempt(err);
    } else {
        finishAttempt(lastError_);
    }
    return !Pending();
}

int TPosixDeviceConnection::WaitForOutcome()
{
    while (!Poll(-1)) {
    }
    return lastError_;
}

void TPosixDeviceConnection::finishAttempt(int error)
{
    notifyPending_ = false;
    lastError_ = error;
    if (error == 0) {
        state_ = TState::Connected;
    } else {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
        state_ = TState::Closed;
    }
    if (OnConnected)
        OnConnected(error);
}

void TPosixDeviceConnection::SendText(std::string_view text)
{
    if (state_ != TState::Connected || sendError_ != 0 || draining_)
        return;
    pending_.append(text);
    flush(false);
}

void TPosixDeviceConnection::CloseWhenSent(std::function<void()> done)
{
    if (state_ != TState::Connected || pending_.empty() || sendError_ != 0) {
        Close();
        if (done)
            done();
        return;
    }
    draining_ = true;
    drained_ = std::move(done);
    deadline_ = nowMs() + StallTimeoutMs;
}

void TPosixDeviceConnection::finishDrain()
{
    auto done = std::move(drained_);
    drained_ = nullptr;
    draining_ = false;
    Close();
    if (done)
        done();
}

void TPosixDeviceConnection::flush(bool block)
{
    size_t done = 0;
    long long stall = nowMs() + StallTimeoutMs;
    while (done < pending_.size()) {
        ssize_t n = ::send(fd_, pending_.data() + done, pending_.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            stall = nowMs() + StallTimeoutMs;
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!block)
                break;
            pollfd p{fd_, POLLOUT, 0};
            // A device that stops reading for good would hold the close
            // forever.
            if (::poll(&p, 1, remainingMs(-1, stall)) <= 0 && nowMs() >= stall) {
                if (sendError_ == 0)
                    sendError_ = ETIMEDOUT;
                done = pending_.size();
                break;
            }
            continue;
        }
        // The peer went away: what is left cannot be delivered.
        if (sendError_ == 0)
            sendError_ = n < 0 ? errno : EPIPE;
        done = pending_.size();
        break;
    }
    pending_.erase(0, done);
}

} // namespace telvo
