// A whole program run as a benchmark sees it: wall and processor seconds and the process's own
// peak resident memory, read from the kernel when the child ends.
#pragma once

#include <QElapsedTimer>

#include <algorithm>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

struct TProcessRun
{
    double Seconds = 0;
    double Cpu = 0; // user and system
    long PeakKb = 0;
    int Status = -1;
};

// Runs the program with arguments and waits for it, reading its own resource use.
inline TProcessRun RunProcess(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    const pid_t pid = fork();
    if (pid == 0) {
        execv(argv[0], argv.data());
        _exit(127);
    }
    TProcessRun run;
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.Seconds = timer.nsecsElapsed() / 1e9;
    run.Cpu = usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
              (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    run.PeakKb = usage.ru_maxrss;
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// The best of several runs: the least wall and processor time, the largest peak.
inline void KeepBest(TProcessRun &best, const TProcessRun &run, bool first)
{
    if (first || run.Seconds < best.Seconds)
        best.Seconds = run.Seconds;
    if (first || run.Cpu < best.Cpu)
        best.Cpu = run.Cpu;
    best.PeakKb = std::max(best.PeakKb, run.PeakKb);
}
