#include "NlxWatcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "platform/Exceptions.h"
#include "platform/Files.h"
#include "platform/MessageHook.h"

namespace elo {

namespace {
// Idle priority is the lowest nice value: SCHED_IDLE could starve the watcher
// for seconds on a busy machine, while nice 19 still gets its turn.
constexpr int kIdleNice = 19;
void SetNice(pid_t tid, int nice) {
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}
} // namespace

TFileWatcher::TFileWatcher(std::string fileName) : FFileName(std::move(fileName)) {
    FStopEvent = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (FStopEvent < 0) throw EInOutError::FromErrno(errno);
    // The notification is asked for here, before the thread runs: a change
    // made right after watching began is not missed.
    const std::string dir = ExtractFileDir(FFileName);
    if (!dir.empty()) {
        FNotify = ::inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
        // File names (created, deleted, renamed) and last-write times (written,
        // closed after writing, date set).
        const uint32_t mask =
            IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_MODIFY | IN_CLOSE_WRITE | IN_ATTRIB;
        if (FNotify >= 0 && ::inotify_add_watch(FNotify, dir.c_str(), mask | IN_ONLYDIR) < 0) {
            ::close(FNotify);
            FNotify = -1; // the directory cannot be watched: only the stop event
        }
    }
}

TFileWatcher::~TFileWatcher() {
    // A watcher freed while its thread runs stops it first: the thread reads
    // the stop event and the change handler, which die with this object.
    if (!Finished()) {
        Stop();
        WaitFor(-1);
    }
    if (FStopEvent >= 0) ::close(FStopEvent);
    if (FNotify >= 0) ::close(FNotify);
}

void TFileWatcher::SetOnChange(TChangeEvent onChange) {
    std::lock_guard lock(FMutex);
    FOnChange = std::move(onChange);
}

void TFileWatcher::Stop() {
    // Back to normal priority, where the system allows raising it (it does for
    // privileged processes); the stop is quick either way.
    if (const pid_t tid = FThreadId.load()) SetNice(tid, 0);
    Terminate();
    const uint64_t one = 1;
    (void)!::write(FStopEvent, &one, sizeof one);
}

void TFileWatcher::Notify() {
    TChangeEvent onChange;
    {
        std::lock_guard lock(FMutex);
        onChange = FOnChange;
    }
    if (onChange) onChange(*this);
}

void TFileWatcher::Execute() {
    FThreadId = ::gettid();
    SetNice(FThreadId, kIdleNice);
    const int notify = FNotify;
    pollfd fds[2] = {{FStopEvent, POLLIN, 0}, {notify, POLLIN, 0}};
    const nfds_t count = notify >= 0 ? 2 : 1;
    alignas(inotify_event) char events[16 * 1024];
    while (!Terminated()) {
        if (::poll(fds, count, -1) < 0 && errno != EINTR) break;
        if (Terminated()) break;
        if (count == 2 && (fds[1].revents & POLLIN)) {
            // Take every pending event: one notification stands for them all.
            while (::read(notify, events, sizeof events) > 0) {
            }
            try {
                Synchronize([this] { Notify(); });
            } catch (const Exception& e) {
                ShowMessageBox(e.Message, kWatcherErrorCaption);
            } catch (const std::exception& e) {
                ShowMessageBox(e.what(), kWatcherErrorCaption);
            }
        }
    }
}

} // namespace elo
