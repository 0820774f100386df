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
    // Closes once every byte handed over is on its way (or the device has
    // stopped taking them), then calls `done`; SendError tells which. A
    // connection that sends without blocking returns at once and calls
    // `done` later from where it is driven; this one closes at once.
    virtual void CloseWhenSent(std::function<void()> done)
    {
        Close();
        if (done)
            done();
    }

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

    // Why a device cannot be tried at this address and port at all, or
    // empty: no address, or a port that is no number from 1 to 65535.
    static std::string CheckEndpoint(const std::string& address, const std::string& port);
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
    void CloseWhenSent(std::function<void()> done) override;
    TState State() const override { return state_; }
    int SendError() const override { return sendError_; }

    // A device that does not accept within this time fails the attempt with
    // ETIMEDOUT; without it the system's own retries hold it for minutes.
    int ConnectTimeoutMs = 10000;
    // A device that takes no byte for this long while bytes wait has stopped
    // reading: what is left is dropped and SendError is ETIMEDOUT.
    int StallTimeoutMs = 10000;

    // Waits up to timeoutMs (-1: no limit) for progress of a pending attempt
    // or of a CloseWhenSent, and raises OnConnected or the close's callback
    // when it ends. Returns true once neither is pending.
    bool Poll(int timeoutMs);
    // Polls until nothing is pending; returns the error code of the last
    // attempt.
    int WaitForOutcome();
    // The socket to watch while something is pending (-1: none), and for
    // what: writable, for both the attempt and the sending.
    int Socket() const { return fd_; }
    bool Pending() const { return notifyPending_ || draining_; }

    // The error code of the last attempt (0 when it succeeded).
    int LastError() const { return lastError_; }

private:
    void finishAttempt(int error);
    // Hands pending bytes to the system; with block, waits until all are
    // gone or the device has taken nothing for StallTimeoutMs.
    void flush(bool block);
    void finishDrain();
    int remainingMs(int timeoutMs, long long deadline) const;

    int fd_ = -1;
    TState state_ = TState::Closed;
    int lastError_ = 0;
    int sendError_ = 0;
    bool notifyPending_ = false;
    bool draining_ = false;
    long long deadline_ = 0; // steady clock, ms: connect or stall time-out
    std::function<void()> drained_;
    std::string pending_;
};

} // namespace telvo
