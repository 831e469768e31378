// The thread that watches a library's directory and hands each change to the
// main thread: inotify on the directory (file names and last-write times), an
// eventfd as the stop event, poll on both.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>

#include "platform/MainThread.h"

namespace elo {

inline constexpr const char* kWatcherErrorCaption = "TFileWatcher.Execute error";

class TFileWatcher : public TThread {
public:
    using TChangeEvent = std::function<void(TFileWatcher& sender)>;

    // Created not running, at idle priority once started.
    explicit TFileWatcher(std::string fileName);
    ~TFileWatcher() override;

    // Back to normal priority, told to terminate, stop event signalled.
    void Stop();
    // Runs OnChange, if assigned (in the main thread, through Synchronize).
    void Notify();
    void SetOnChange(TChangeEvent onChange);
    const std::string& FileName() const { return FFileName; }

protected:
    void Execute() override;

private:
    int FStopEvent = -1; // eventfd, manual reset: it stays signalled
    int FNotify = -1;    // inotify on the file's directory, or -1
    std::atomic<pid_t> FThreadId{0};
    std::string FFileName;
    std::mutex FMutex;
    TChangeEvent FOnChange;
};

} // namespace elo
