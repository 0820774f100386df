#pragma once
// Starting the Free Pascal compiler on a generated source file. The compiler
// runs as a child process in the file's folder with "-Sd -Sh <file>"; the
// caller is never blocked: it gets a handle that it can poll, wait on, or be
// called back from when the compiler has ended. The compiler's standard output
// and standard error are captured together, in the order it wrote them.

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>

namespace telvo {

class TSettings;

// settings.ini key (section "Values") naming the compiler to start instead
// of the "fpc" found on the PATH: a program name or a path.
inline constexpr const char* PascalCompilerKey = "PascalCompiler";
inline constexpr const char* DefaultPascalCompiler = "fpc";

// The compiler program the settings ask for, else "fpc".
std::string PascalCompilerProgram(const TSettings& settings);

// The arguments given to the compiler for one source file. The path is one
// argument of its own, so blanks or quotes in it need no quoting.
std::vector<std::string> PascalCompilerArguments(const std::filesystem::path& sourceFile);

struct TCompileResult {
    // False when the compiler could not be started at all; Error says why.
    bool Started = false;
    std::string Error;
    // Exit status when the compiler ended normally, else -1 (see Signal).
    int ExitCode = -1;
    // The signal that ended the compiler, or 0.
    int Signal = 0;
    // Everything the compiler wrote to standard output and standard error.
    std::string Output;

    bool Succeeded() const { return Started && Signal == 0 && ExitCode == 0; }
};

// One running (or finished) compiler. Destroying a handle whose compiler
// still runs stops the compiler and everything it started.
class TPascalCompilation {
public:
    using TFinished = std::function<void(const TCompileResult&)>;

    // Starts `program` on sourceFile in the file's folder and returns at once.
    // `onFinished`, when given, is called once on a background thread after
    // the compiler has ended (or at once, on this thread, when it could not
    // be started); the GUI queues it to its own thread.
    static std::unique_ptr<TPascalCompilation> Start(const std::string& program,
                                                     const std::filesystem::path& sourceFile,
                                                     TFinished onFinished = nullptr);
    ~TPascalCompilation();
    TPascalCompilation(const TPascalCompilation&) = delete;
    TPascalCompilation& operator=(const TPascalCompilation&) = delete;

    // True once the compiler has ended and its output is complete.
    bool Finished() const;
    // Blocks until the compiler has ended; the result stays valid as long as
    // the handle lives.
    const TCompileResult& Wait();
    // Stops the compiler and whatever it started; Wait then reports the signal.
    void Cancel();

private:
    TPascalCompilation() = default;
    void Collect(int readFd, TFinished onFinished);

    mutable std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    pid_t pid_ = -1;
    TCompileResult result_;
    std::thread collector_;
};

// Starts the compiler and waits for it: the command line's way.
TCompileResult CompilePascalFile(const std::string& program, const std::filesystem::path& sourceFile);

} // namespace telvo
