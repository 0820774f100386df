#include "deploy/device_connection.h"

#include "model/value_text.h"

#include <cerrno>
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
} // namespace

TPosixDeviceConnection::~TPosixDeviceConnection() { Close(); }

void TPosixDeviceConnection::Close()
{
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
}

void TPosixDeviceConnection::Connect()
{
    Close();
    state_ = TState::Connecting;
    notifyPending_ = true;
    sendError_ = 0;

    int32_t port = 0;
    if (!TryParseInteger(Port, port) || port <= 0 || port > 65535) {
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
    if (::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        lastError_ = 0;
        return;
    }
    lastError_ = errno == EINPROGRESS ? -1 : errno;
}

bool TPosixDeviceConnection::Poll(int timeoutMs)
{
    if (!notifyPending_)
        return true;
    if (lastError_ == -1 && fd_ >= 0) {
        pollfd p{fd_, POLLOUT, 0};
        int n = ::poll(&p, 1, timeoutMs);
        if (n == 0 || (n < 0 && errno == EINTR))
            return false;
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
    return true;
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
    if (state_ != TState::Connected || sendError_ != 0)
        return;
    pending_.append(text);
    flush(false);
}

void TPosixDeviceConnection::flush(bool block)
{
    size_t done = 0;
    while (done < pending_.size()) {
        ssize_t n = ::send(fd_, pending_.data() + done, pending_.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!block)
                break;
            pollfd p{fd_, POLLOUT, 0};
            // A device that stops reading for good would hold the close
            // forever; a minute without progress ends the wait.
            if (::poll(&p, 1, 60000) <= 0) {
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
