// Spawned and watched through the system directly rather than QProcess: QProcess buffers all the
// output that arrives while it waits, and cannot put the child into a group of its own to end.
#include "core/ChildProgram.h"

#include <QElapsedTimer>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <poll.h>
#include <pthread.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

// The end of the program's messages that is kept: an error shows the last few hundred bytes.
constexpr qsizetype kLastBytes = 4096;

// The process group of the program now running (0: none), and a SIGINT or SIGTERM that came
// while it ran. A signal handler reaches no other state, hence these two.
std::atomic<pid_t> g_group{0};
volatile std::sig_atomic_t g_signal = 0;

void OnEndSignal(int signal)
{
    const pid_t group = g_group.load();
    if (group <= 0) {
        std::signal(signal, SIG_DFL);
        std::raise(signal);
        return;
    }
    g_signal = signal;
    ::kill(-group, SIGKILL);
}

// The running program's group: ended, and the program waited for, when the run is left before
// the program ended by itself.
class TGroupHold
{
public:
    explicit TGroupHold(pid_t pid) : m_pid(pid) { g_group = pid; }
    ~TGroupHold()
    {
        g_group = 0;
        if (m_pid > 0) {
            ::kill(-m_pid, SIGKILL);
            while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
            }
        }
    }
    TGroupHold(const TGroupHold &) = delete;
    TGroupHold &operator=(const TGroupHold &) = delete;

    // True once the program has ended, its wait status in status.
    bool ended(int &status)
    {
        const pid_t got = ::waitpid(m_pid, &status, WNOHANG);
        if (got == 0 || (got < 0 && errno == EINTR))
            return false;
        // Reaped by the system already (SIGCHLD ignored): its status is lost.
        if (got < 0)
            status = -1;
        g_group = 0;
        m_pid = 0;
        return true;
    }

private:
    pid_t m_pid;
};

class TFd
{
public:
    explicit TFd(int fd) : m_fd(fd) {}
    ~TFd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    TFd(const TFd &) = delete;
    TFd &operator=(const TFd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Reads what the pipe holds into the kept end; the read's result.
ssize_t ReadSome(int fd, QByteArray &last)
{
    char buffer[64 << 10];
    const ssize_t got = ::read(fd, buffer, sizeof buffer);
    if (got > 0) {
        last.append(buffer, qsizetype(got));
        if (last.size() > 2 * kLastBytes)
            last.remove(0, last.size() - kLastBytes);
    }
    return got;
}

// SIGINT and SIGTERM held back while the child starts, so that none comes between its start
// and the moment a handler can find its group.
class TSignalsHeld
{
public:
    TSignalsHeld()
    {
        sigset_t held;
        sigemptyset(&held);
        sigaddset(&held, SIGINT);
        sigaddset(&held, SIGTERM);
        ::pthread_sigmask(SIG_BLOCK, &held, &m_before);
    }
    ~TSignalsHeld() { ::pthread_sigmask(SIG_SETMASK, &m_before, nullptr); }
    TSignalsHeld(const TSignalsHeld &) = delete;
    TSignalsHeld &operator=(const TSignalsHeld &) = delete;

private:
    sigset_t m_before;
};

[[noreturn]] void CannotStart(const QString &program, int error)
{
    throw EInOutError(QStringLiteral("Cannot start %1: %2")
                          .arg(program, QString::fromLocal8Bit(std::strerror(error))));
}

// Starts the program in a new process group, its output and errors into the pipe.
pid_t Spawn(const QString &program, const QStringList &arguments, const QString &folder, int output)
{
    std::vector<QByteArray> bytes{QFile::encodeName(program)};
    for (const QString &argument : arguments)
        bytes.push_back(QFile::encodeName(argument));
    std::vector<char *> argv;
    for (QByteArray &b : bytes)
        argv.push_back(b.data());
    argv.push_back(nullptr);
    const QByteArray where = QFile::encodeName(folder);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, output, STDERR_FILENO);
    posix_spawn_file_actions_addchdir_np(&actions, where.constData());
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // Signals this program ignores or blocks (a size limit's, a closed pipe's) are the child's
    // own again.
    sigset_t defaults, none;
    sigemptyset(&defaults);
    for (const int s : {SIGINT, SIGTERM, SIGPIPE, SIGXFSZ})
        sigaddset(&defaults, s);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF |
                                              POSIX_SPAWN_SETSIGMASK);
    pid_t pid = 0;
    const int error = posix_spawn(&pid, argv.front(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (error != 0)
        CannotStart(program, error);
    return pid;
}

} // namespace

TChildResult RunChildProgram(const QString &program, const QStringList &arguments,
                             const QString &folder, const std::function<void()> &tick)
{
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0)
        CannotStart(program, errno);
    const TFd out(pipeFds[0]);
    std::optional<TSignalsHeld> held(std::in_place);
    pid_t pid = 0;
    {
        const TFd in(pipeFds[1]);
        pid = Spawn(program, arguments, folder, in.get());
    }
    TChildResult result;
    int status = 0;
    {
        TGroupHold hold(pid);
        held.reset();
        QElapsedTimer clock;
        clock.start();
        bool open = true;
        while (!hold.ended(status)) {
            pollfd ready{open ? out.get() : -1, POLLIN, 0};
            if (::poll(&ready, 1, 200) > 0 && ready.revents != 0) {
                const ssize_t got = ReadSome(out.get(), result.LastBytes);
                open = got > 0 || (got < 0 && errno == EINTR);
            }
            if (g_signal)
                throw ECancelled(g_signal);
            // A program writing fast wakes the loop often; the tick keeps its pace.
            if (tick && clock.hasExpired(150)) {
                clock.restart();
                tick();
            }
        }
    }
    // What it wrote last, without waiting for any program it left running with the pipe (nor
    // reading such a program's output for ever).
    ::fcntl(out.get(), F_SETFL, O_NONBLOCK);
    for (int block = 0; block < 64 && ReadSome(out.get(), result.LastBytes) > 0; ++block) {
    }
    if (g_signal)
        throw ECancelled(g_signal);
    result.LastBytes = result.LastBytes.right(kLastBytes);
    result.ExitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

void EndChildrenOnSignals()
{
    struct sigaction action = {};
    action.sa_handler = OnEndSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

void ResumeSignal(int signal)
{
    std::signal(signal, SIG_DFL);
    std::raise(signal);
    std::_Exit(128 + signal);
}
