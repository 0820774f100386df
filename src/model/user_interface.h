#pragma once
// The one channel through which the core talks to the user. The core never
// shows a window itself: the GUI implements this with message boxes, the log
// window and the status bar; the CLI and the tests use TRecordingUserInterface.

#include <deque>
#include <mutex>
#include <string>
#include <vector>

namespace telvo {

// The answer to a question that offers Cancel.
enum class TAnswer { Yes, No, Cancel };

class TUserInterface {
public:
    virtual ~TUserInterface() = default;

    // A message box with an OK button.
    virtual void ShowMessage(const std::string& text) = 0;
    // A message box telling of a failure or a refusal (the warning icon on
    // the desktop); elsewhere a message like any other.
    virtual void ShowWarning(const std::string& text) { ShowMessage(text); }
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    // A Yes/No question whose No discards work: Cancel (and Escape or
    // closing the box) leaves everything as it was. A channel that cannot
    // offer Cancel answers it as a Yes/No question.
    virtual TAnswer AskYesNoCancel(const std::string& text) { return AskYesNo(text) ? TAnswer::Yes : TAnswer::No; }
    // A user hint with its gesture (1..8, -1 for a random one). Returns the
    // status text: the hint itself when no assistant speaks it.
    virtual std::string UserHint(const std::string& text, int gesture) = 0;
    // One line for the log window. May be called from any thread; lines keep
    // their call order.
    virtual void Log(const std::string& text) = 0;
    // A status-bar text of the main window ("Adding Library: ...").
    virtual void SetStatus(const std::string& text) = 0;
    // Long work: the busy cursor (and progress) between the two calls.
    virtual void BeginBusy() = 0;
    virtual void EndBusy() = 0;
};

// Marks a busy period for the lifetime of the object.
class TBusyScope {
public:
    explicit TBusyScope(TUserInterface& ui) : ui_(ui) { ui_.BeginBusy(); }
    ~TBusyScope() { ui_.EndBusy(); }
    TBusyScope(const TBusyScope&) = delete;
    TBusyScope& operator=(const TBusyScope&) = delete;

private:
    TUserInterface& ui_;
};

// Records everything it is told and answers questions from a script of
// answers (No when the script is exhausted). Thread-safe.
class TRecordingUserInterface : public TUserInterface {
public:
    struct Hint {
        std::string Text;
        int Gesture;
    };

    void ShowMessage(const std::string& text) override;
    bool AskYesNo(const std::string& text) override;
    TAnswer AskYesNoCancel(const std::string& text) override;
    std::string UserHint(const std::string& text, int gesture) override;
    void Log(const std::string& text) override;
    void SetStatus(const std::string& text) override;
    void BeginBusy() override;
    void EndBusy() override;

    void QueueAnswer(bool yes);
    // Cancel answers a Yes/No question as No.
    void QueueAnswer(TAnswer answer);

    std::vector<std::string> Messages() const;
    std::vector<std::string> Questions() const;
    std::vector<Hint> Hints() const;
    std::vector<std::string> LogLines() const;
    std::vector<std::string> StatusTexts() const;
    int BusyDepth() const;
    void Clear();

    // When set, messages, hints and log lines are also written to stderr
    // (the CLI's way of showing them).
    bool EchoToStderr = false;
    // When false, log lines are counted but not kept (hot paths log a lot).
    bool KeepLog = true;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> messages_, questions_, log_, status_;
    std::vector<Hint> hints_;
    std::deque<TAnswer> answers_;
    int busy_ = 0;
};

} // namespace telvo
