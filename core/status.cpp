#include "core/status.h"

#include "core/state.h"

namespace {
thread_local Tells telling = Tells::Problem;
thread_local int tellingBot = -1;

// Touched only on the window's thread (inside RunOnWindowThread).
std::function<void(const std::string&)> statusListener;
int statusLines = 0;  // lines put into the status list since it was last emptied

// Marks what this thread shows while the object lives.
struct TellingScope {
    TellingScope(Tells kind, int bot) {
        telling = kind;
        tellingBot = bot;
    }
    ~TellingScope() { telling = Tells::Problem; }
    TellingScope(const TellingScope&) = delete;
    TellingScope& operator=(const TellingScope&) = delete;
};
}  // namespace

void sout(const std::string& text) {
    // The steps run on the window's thread as one, as a message to the list
    // would; no lock of ours is held across a window call.
    RunOnWindowThread([&text] {
        if (statusLines > 100) {
            ListBoxResetContent(md, kStatusList);
            statusLines = 0;
        }
        if (statusListener) statusListener(text);
        ListBoxAddString(md, kStatusList, text);
        ListBoxSetCurSel(md, kStatusList, statusLines);
        ++statusLines;
    });
}

void dout(const std::string&) {}

void SetStatusListener(std::function<void(const std::string&)> listener) {
    RunOnWindowThread([&listener] { statusListener = std::move(listener); });
}

void ResetStatus() {
    RunOnWindowThread([] {
        statusListener = nullptr;
        statusLines = 0;
    });
}

void sprogress(const std::string& text) {
    TellingScope scope(Tells::Progress, -1);
    sout(text);
}

int ProgressBox(Hwnd owner, const std::string& text, const std::string& caption, unsigned type) {
    TellingScope scope(Tells::Progress, -1);
    return MessageBox(owner, text, caption, type);
}

void DefaultBox(int bot, const std::string& text, const std::string& caption) {
    TellingScope scope(Tells::Default, bot);
    MessageBox(md, text, caption, MB_OK);
}

Tells Telling(int* bot) {
    if (bot) *bot = tellingBot;
    return telling;
}
