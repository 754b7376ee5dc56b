// The modal message box.
#include "platform/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace vantrel {

namespace {
std::mutex gLock;
MessageBoxHandler gHandler = nullptr;
void *gContext = nullptr;
}  // namespace

void SetMessageBoxHandler(MessageBoxHandler handler, void *context) {
    std::lock_guard<std::mutex> guard(gLock);
    gHandler = handler;
    gContext = context;
}

void ShowMessageBox(const String &text) {
    MessageBoxHandler handler;
    void *context;
    {
        std::lock_guard<std::mutex> guard(gLock);
        handler = gHandler;
        context = gContext;
    }
    if (handler) {
        handler(text.c_str(), context);
        return;
    }
    std::string utf8 = StringToUtf8(text);
    utf8.push_back('\n');
    std::fwrite(utf8.data(), 1, utf8.size(), stderr);
    std::fflush(stderr);
}

}  // namespace vantrel
