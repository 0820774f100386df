#pragma once
// The client connection through which command sets reach a device. The
// workbench is always the client: it connects, sends lines back to back and
// closes; it never reads. One object serves one connection at a time.

#include <functional>
#include <string>
#include <string_view>

namespace telvo {

class TDeviceConnection {
public:
    enum class TState { Closed, Connecting, Connected };

    virtual ~TDeviceConnection() = default;

    // Ends any current connection: pending bytes are sent, then the sending
    // side is shut down and the socket closed. Called first, so that a
    // previous connection never lingers.
    virtual void Close() = 0;
    virtual void SetAddress(const std::string& address) { Address = address; }
    virtual void SetPort(const std::string& port) { Port = port; }
    virtual void SetProtocol(const std::string& protocol) { Protocol = protocol; }
    // Starts a connection attempt and returns at once; OnConnected reports
    // its outcome exactly once.
    virtual void Connect() = 0;
    // Hands over the bytes of one line exactly: no terminator, no prefix.
    virtual void SendText(std::string_view text) = 0;

    virtual TState State() const = 0;
    // 0 while every byte handed over since the last Connect has gone out;
    // otherwise the error with which the device dropped the connection
    // (kept after Close, until the next Connect).
    virtual int SendError() const = 0;

    // 0: the connection is established; anything else: it failed.
    std::function<void(int errorCode)> OnConnected;

    std::string Address;
    std::string Port;
    std::string Protocol = "tcp";
};

// Non-blocking POSIX sockets, for the command line and the tests. The owner
// drives it with Poll (or waits with WaitForOutcome); the notification is
// raised from inside those calls, on the caller's thread.
class TPosixDeviceConnection final : public TDeviceConnection {
public:
    TPosixDeviceConnection() = default;
    ~TPosixDeviceConnection() override;
    TPosixDeviceConnection(const TPosixDeviceConnection&) = delete;
    TPosixDeviceConnection& operator=(const TPosixDeviceConnection&) = delete;

    void Close() override;
    void Connect() override;
    void SendText(std::string_view text) override;
    TState State() const override { return state_; }
    int SendError() const override { return sendError_; }

    // Waits up to timeoutMs (-1: no limit) for progress of a pending attempt
    // and raises OnConnected when it ends. Returns true once the attempt has
    // ended (or there is none).
    bool Poll(int timeoutMs);
    // Polls until the pending attempt ends; returns the error code reported.
    int WaitForOutcome();

    // The error code of the last attempt (0 when it succeeded).
    int LastError() const { return lastError_; }

private:
    void finishAttempt(int error);
    void flush(bool block);

    int fd_ = -1;
    TState state_ = TState::Closed;
    int lastError_ = 0;
    int sendError_ = 0;
    bool notifyPending_ = false;
    std::string pending_;
};

} // namespace telvo
