#include "model/user_interface.h"

#include <cstdio>

namespace telvo {

namespace {
void echo(bool on, const std::string& text)
{
    if (on)
        std::fprintf(stderr, "%s\n", text.c_str());
}
} // namespace

void TRecordingUserInterface::ShowMessage(const std::string& text)
{
    std::lock_guard lock(mutex_);
    messages_.push_back(text);
    echo(EchoToStderr, text);
}

bool TRecordingUserInterface::AskYesNo(const std::string& text)
{
    std::lock_guard lock(mutex_);
    questions_.push_back(text);
    if (answers_.empty())
        return false;
    const TAnswer a = answers_.front();
    answers_.pop_front();
    return a == TAnswer::Yes;
}

TAnswer TRecordingUserInterface::AskYesNoCancel(const std::string& text)
{
    std::lock_guard lock(mutex_);
    questions_.push_back(text);
    if (answers_.empty())
        return TAnswer::No;
    const TAnswer a = answers_.front();
    answers_.pop_front();
    return a;
}

std::string TRecordingUserInterface::UserHint(const std::string& text, int gesture)
{
    std::lock_guard lock(mutex_);
    hints_.push_back({text, gesture});
    return text;
}

void TRecordingUserInterface::Log(const std::string& text)
{
    std::lock_guard lock(mutex_);
    if (KeepLog)
        log_.push_back(text);
}

void TRecordingUserInterface::SetStatus(const std::string& text)
{
    std::lock_guard lock(mutex_);
    status_.push_back(text);
}

void TRecordingUserInterface::BeginBusy()
{
    std::lock_guard lock(mutex_);
    ++busy_;
}

void TRecordingUserInterface::EndBusy()
{
    std::lock_guard lock(mutex_);
    --busy_;
}

void TRecordingUserInterface::QueueAnswer(bool yes)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(yes ? TAnswer::Yes : TAnswer::No);
}

void TRecordingUserInterface::QueueAnswer(TAnswer answer)
{
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

std::vector<std::string> TRecordingUserInterface::Messages() const
{
    std::lock_guard lock(mutex_);
    return messages_;
}
std::vector<std::string> TRecordingUserInterface::Questions() const
{
    std::lock_guard lock(mutex_);
    return questions_;
}
std::vector<TRecordingUserInterface::Hint> TRecordingUserInterface::Hints() const
{
    std::lock_guard lock(mutex_);
    return hints_;
}
std::vector<std::string> TRecordingUserInterface::LogLines() const
{
    std::lock_guard lock(mutex_);
    return log_;
}
std::vector<std::string> TRecordingUserInterface::StatusTexts() const
{
    std::lock_guard lock(mutex_);
    return status_;
}
int TRecordingUserInterface::BusyDepth() const
{
    std::lock_guard lock(mutex_);
    return busy_;
}
void TRecordingUserInterface::Clear()
{
    std::lock_guard lock(mutex_);
    messages_.clear();
    questions_.clear();
    log_.clear();
    status_.clear();
    hints_.clear();
    answers_.clear();
}

} // namespace telvo
