// ShowMessage's bounded formatting and the seam between it and the platform's message box.
#include "Messages.h"

#include <cstdarg>
#include <cstdio>

namespace {
MessageSinkSlot gMessageSink = {nullptr, nullptr};
}

MessageSinkSlot SetMessageSink(MessageSink sink, void* context)
{
    const MessageSinkSlot previous = gMessageSink;
    gMessageSink = {sink, context};
    return previous;
}

void ShowMessage(const char* caption, const char* format, ...)
{
    char text[kMessageChars];
    va_list args;
    va_start(args, format);
    const int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0) text[0] = '\0';  // an encoding error: show the caption alone rather than garbage
    if (gMessageSink.sink) gMessageSink.sink(text, caption, gMessageSink.context);
    else PlatformShowMessage(text, caption);
}
