// Every test program takes the named mutex in a lock directory of its own.
// The mutex is one for all processes of a user, and a test that waits for a
// missing library holds it for seconds: test programs that ctest runs side by
// side must not wait for each other's locks. Child processes (elo-tool runs,
// forked holders) inherit the directory, so they still meet the program's lock.
#include <stdlib.h>
#include <unistd.h>

#include <string>

namespace {
struct TPrivateLockDirectory {
    TPrivateLockDirectory() {
        const char* tmp = getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/elo-locks-XXXXXX";
        if (mkdtemp(pattern.data())) {
            path = pattern;
            setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
        }
    }
    ~TPrivateLockDirectory() {
        if (path.empty()) return;
        for (const char* name : {"/NLX_INTF_MUTEX_1.1.lock", "/NLX_INTF_MUTEX_1.1.lock.turnstile"})
            unlink((path + name).c_str());
        rmdir(path.c_str()); // fails harmlessly when a test left other files
    }
    std::string path;
};
const TPrivateLockDirectory gLocks;
} // namespace
