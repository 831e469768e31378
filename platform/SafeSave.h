// Saving a file the careful way, for every file the system writes (links
// files, expanded sections):
//
// - A symbolic link is followed to its final target; a dangling one names the
//   file to create. A FIFO or a character device is written directly; any
//   other kind of file that is not a regular file is refused.
// - A file the user may not write is refused ("File access denied"), whatever
//   its directory allows.
// - The target is opened once, without following a link, checked to be the
//   file first inspected, and locked (flock, exclusive) for the whole save:
//   two saves of one file take turns, and readers that lock it too (see
//   LockForReading) never see it half written.
// - A new file, or one that a new file can replace without losing anything of
//   its identity (one link, its owner and group, its mode, its extended
//   attributes and access lists), is written to a temporary file beside it
//   (anonymous where the file system allows it), synced and renamed over it.
// - Otherwise (a hard-linked file, one of another owner, attributes that
//   cannot be copied, a directory that cannot be written) the file is written
//   in place, after a durable copy of its old content (".NAME.elo-backup")
//   that is removed only once the new content is complete and synced; a
//   failure or a terminating signal puts the old content back first. A copy
//   that a killed save left behind is kept, and the next save or reading of
//   the file says where it is.
//
// A failed save leaves the old file intact and raises the platform's error.
#pragma once

#include <sys/types.h>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace elo {

// What a save writes through: large writes, started to disk as they go. A
// full buffer is written by a second thread while the next one fills; its
// failure is raised by the next Append or Flush.
class TFileWriter {
public:
    TFileWriter(int fd, std::string name);
    ~TFileWriter();
    TFileWriter(const TFileWriter&) = delete;
    TFileWriter& operator=(const TFileWriter&) = delete;
    void Append(std::string_view bytes);
    // Writes everything appended so far and waits until it is written.
    void Flush();
    off_t Written() const { return FWritten; }

private:
    void HandOver();
    void Wait();
    void Run();
    int WriteAll(const char* p, size_t n); // 0, or the error
    int FFd;
    std::string FName;
    std::string FBuffer;  // being filled
    std::string FWriting; // being written by the thread
    std::thread FThread;
    std::mutex FMutex;
    std::condition_variable FDone, FWork;
    bool FPending = false, FQuit = false;
    int FError = 0;
    off_t FWritten = 0, FSynced = 0;
};

// Saves fileName with what produce appends.
void SaveFileSafely(const std::string& fileName, const std::function<void(TFileWriter&)>& produce);

// The target a save of fileName writes: symbolic links followed to the end
// (a dangling one gives the path it names), as many as the system follows.
// Raises on a loop.
std::string FinalTarget(const std::string& fileName);

// For a reader of a regular file opened as fd: takes a shared lock on it,
// waiting for a save that writes it in place, and says so (ShowMessageBox)
// when a killed save left a copy of its old content behind.
void LockForReading(int fd, const std::string& fileName);

// How long a save or a reading waits for a file another save holds before it
// gives up ("The process cannot access the file ...").
extern int FileLockWaitMs;

// Ignores SIGXFSZ (a write over the size limit then fails with "File too
// large"), and, when SIGINT, SIGTERM or SIGHUP ends the program, removes the
// temporary files of a save under way, after a save in place has put the
// old content back. Programs call it once at start.
void InstallSaveSignalHandlers();

} // namespace elo
