#include "core/state.h"

void* hInst = nullptr;
std::atomic<Hwnd> md{kNoWindow};
std::atomic<std::uint32_t> sbot{0};
std::atomic<std::uint32_t> ssite{0};
std::atomic<int> checkredway{0};
std::atomic<int> research{0};
std::atomic<int> AppStart{0};
ThreadHandle hThread;
std::atomic<std::uint32_t> ec{0};
std::atomic<std::uint32_t> dwThreadId{0};
ThreadHandle DThread;
std::atomic<int> dfunc{0};
std::atomic<int> col{0};
int order[8] = {};
char* maps[kMaxMaps] = {};
ResultRecord MY[kMaxResults] = {};
char tdir[4096] = {};
int statusLines = 0;
