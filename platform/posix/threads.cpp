#include "platform/threads.h"

#include <signal.h>
#include <unistd.h>

#include "platform/common/transfer.h"

namespace {
void (*g_first)() = nullptr;  // EndOnSignals' first step

extern "C" void EndOnSignal(int sig) {
    if (g_first) g_first();
    RemoveRunningTransfer();
    ::_exit(128 + sig);
}
}  // namespace

void RemoveFileNow(const char* path) {
    ::unlink(path);
}

void EndOnSignals(void (*first)()) {
    g_first = first;
    struct sigaction action {};
    action.sa_handler = EndOnSignal;
    sigfillset(&action.sa_mask);
    for (int sig : {SIGINT, SIGTERM}) ::sigaction(sig, &action, nullptr);
}
