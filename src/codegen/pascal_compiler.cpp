#include "codegen/pascal_compiler.h"

#include "model/settings.h"

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace telvo {

std::string PascalCompilerProgram(const TSettings& settings)
{
    std::string program = settings.GetString(PascalCompilerKey);
    return program.empty() ? DefaultPascalCompiler : program;
}

std::vector<std::string> PascalCompilerArguments(const std::filesystem::path& sourceFile)
{
    return {"-Sd", "-Sh", sourceFile.string()};
}

namespace {

// Closes what it holds on every way out of Start.
struct TSpawnSetup {
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    int pipe[2] = {-1, -1};
    TSpawnSetup()
    {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attr);
    }
    ~TSpawnSetup()
    {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attr);
        for (int fd : pipe)
            if (fd >= 0)
                ::close(fd);
    }
};

} // namespace

std::unique_ptr<TPascalCompilation> TPascalCompilation::Start(const std::string& program,
                                                               const std::filesystem::path& sourceFile,
                                                               TFinished onFinished)
{
    std::unique_ptr<TPascalCompilation> run(new TPascalCompilation());
    auto fail = [&](const std::string& why) {
        run->result_.Error = "Cannot start the compiler \"" + program + "\": " + why;
        run->finished_ = true;
        if (onFinished)
            onFinished(run->result_);
        return std::move(run);
    };

    // The child changes into the file's folder before it starts the
    // compiler, so every path it gets must not depend on our own folder.
    std::error_code ec;
    const std::filesystem::path source = std::filesystem::absolute(sourceFile, ec);
    if (ec)
        return fail(ec.message());
    std::string programPath = program;
    if (program.find('/') != std::string::npos) {
        programPath = std::filesystem::absolute(program, ec).string();
        if (ec)
            return fail(ec.message());
    }
    if (!std::filesystem::is_regular_file(source, ec))
        return fail("there is no source file " + source.string());
    const std::string folder = source.parent_path().string();

    TSpawnSetup setup;
    if (::pipe2(setup.pipe, O_CLOEXEC) != 0)
        return fail(std::strerror(errno));
    // Both duplicates before stdin is opened: with our own standard handles
    // closed, the pipe itself may sit on descriptor 0.
    posix_spawn_file_actions_adddup2(&setup.actions, setup.pipe[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&setup.actions, setup.pipe[1], STDERR_FILENO);
    posix_spawn_file_actions_addopen(&setup.actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addchdir_np(&setup.actions, folder.c_str());
    // A process group of its own lets Cancel stop the compiler together with
    // the assembler and linker it runs; the child starts with no signal
    // blocked and default handlers whatever the calling thread has.
    sigset_t none, all;
    sigemptyset(&none);
    sigfillset(&all);
    posix_spawnattr_setflags(&setup.attr, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    posix_spawnattr_setpgroup(&setup.attr, 0);
    posix_spawnattr_setsigmask(&setup.attr, &none);
    posix_spawnattr_setsigdefault(&setup.attr, &all);

    std::vector<std::string> args = PascalCompilerArguments(source);
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_t pid = -1;
    int rc = ::posix_spawnp(&pid, programPath.c_str(), &setup.actions, &setup.attr, argv.data(), environ);
    if (rc != 0)
        return fail(std::strerror(rc));
    ::close(setup.pipe[1]);
    setup.pipe[1] = -1;
    run->pid_ = pid;
    run->result_.Started = true;
    int readFd = setup.pipe[0];
    setup.pipe[0] = -1;
    run->collector_ = std::thread(&TPascalCompilation::Collect, run.get(), readFd, std::move(onFinished));
    return run;
}

void TPascalCompilation::Collect(int readFd, TFinished onFinished)
{
    std::string output;
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(readFd, buf, sizeof buf);
        if (n > 0)
            output.append(buf, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            break;
    }
    ::close(readFd);

    // Wait without reaping first: until the child is reaped its process
    // group id cannot be reused, so Cancel never signals a stranger.
    siginfo_t info{};
    while (::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOWAIT) != 0 && errno == EINTR) {
    }
    int status = 0;
    {
        std::lock_guard lock(mutex_);
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
        result_.Output = std::move(output);
        if (WIFEXITED(status))
            result_.ExitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            result_.Signal = WTERMSIG(status);
        finished_ = true;
    }
    done_.notify_all();
    if (onFinished)
        onFinished(result_);
}

bool TPascalCompilation::Finished() const
{
    std::lock_guard lock(mutex_);
    return finished_;
}

const TCompileResult& TPascalCompilation::Wait()
{
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return finished_; });
    return result_;
}

void TPascalCompilation::Cancel()
{
    std::lock_guard lock(mutex_);
    if (pid_ > 0)
        ::kill(-pid_, SIGKILL);
}

TPascalCompilation::~TPascalCompilation()
{
    if (collector_.joinable()) {
        if (!Finished())
            Cancel();
        collector_.join();
    }
}

TCompileResult CompilePascalFile(const std::string& program, const std::filesystem::path& sourceFile)
{
    auto run = TPascalCompilation::Start(program, sourceFile);
    return run->Wait();
}

} // namespace telvo
