/* A program that opens the imager, starts a scan and returns from main
 * without closing. In between, a child made with fork() tries the exports
 * and exits: it gets -1 with its cause, and its exit leaves the parent's
 * engine alone. Run by the engine tests against the simulator; the
 * argument names the settings directory. */
#define _POSIX_C_SOURCE 200809L
#include <errno.h>
#include <stdlib.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include "QVPlatform.h"

static pid_t g_parent;

/* The child's copy of the parent's heap holds what the parent's threads
 * allocated, but not the threads: a leak check there would count all of it.
 * Read only under LeakSanitizer. */
__attribute__((visibility("default"))) int __lsan_is_turned_off(void);
int __lsan_is_turned_off(void) {
    return getpid() != g_parent;
}

int main(int argc, char** argv) {
    g_parent = getpid();
    if (argc > 1) QVPlatformSetApplicationDirectory(argv[1]);
    if (QVImagerOpen() != 1) return 2;
    if (QVImagerScanStart(NULL) != 1) return 3;
    const pid_t pid = fork();
    if (pid == 0) {
        char text[256];
        const int refused = QVImagerScanStop() == -1 &&
                            QVPlatformGetLastFailure(text, sizeof text) == ECHILD &&
                            QVImagerOpen() == -1 && QVImagerClose() == -1;
        exit(refused ? 0 : 1);
    }
    int status = 0;
    if (pid < 0 || waitpid(pid, &status, 0) != pid) return 4;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return 5;
    if (QVImagerTestCommand() != 1) return 6; /* still powered and answering */
    return 0;
}
