#include "platform/threads.h"

#include <signal.h>
#include <unistd.h>

#include "platform/common/transfer.h"

namespace {
extern "C" void EndOnSignal(int sig) {
    RemoveRunningTransfer();
    ::_exit(128 + sig);
}
}  // namespace

void RemoveFileNow(const char* path) {
    ::unlink(path);
}

void EndOnSignals() {
    struct sigaction action {};
    action.sa_handler = EndOnSignal;
    sigfillset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM}) ::sigaction(sig, &action, nullptr);
}
