// ShowMessage: the one road by which the filter tells the user of a failure.
#pragma once

constexpr int kMessageChars = 256;  // 255 characters of text and the terminator

#if defined(__GNUC__)
#define KCF_PRINTF_LIKE(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define KCF_PRINTF_LIKE(fmt, args)
#endif

// Formats the text like printf, cut at 255 characters, and shows it with caption and one OK
// button, owned by the active window. Says nothing of how the user closed it.
void ShowMessage(const char* caption, const char* format, ...) KCF_PRINTF_LIKE(2, 3);

// The seam every message passes through. A sink receives the finished text and caption and stands
// in for the user; null puts the platform's own message box back. Returns the sink it replaced.
using MessageSink = void (*)(const char* text, const char* caption, void* context);
struct MessageSinkSlot {
    MessageSink sink;
    void* context;
};
MessageSinkSlot SetMessageSink(MessageSink sink, void* context);

// The platform's way of telling the user: a message box on Windows, standard error elsewhere.
void PlatformShowMessage(const char* text, const char* caption);
