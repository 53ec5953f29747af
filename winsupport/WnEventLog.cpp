#include "WnEventLog.h"

#include <cstdarg>
#include <cwchar>

WnEventLogHandle::~WnEventLogHandle() = default;

WnEventLogWriter::~WnEventLogWriter()
{
    Close();
}

uint32_t WnEventLogWriter::Open(const wchar_t* sourceName)
{
    Close();
    HANDLE source = RegisterEventSourceW(nullptr, sourceName);
    if (source == nullptr)
        return GetLastError();
    handle_ = source;
    return ERROR_SUCCESS;
}

uint32_t WnEventLogWriter::Close()
{
    if (handle_ == nullptr)
        return ERROR_SUCCESS;
    HANDLE source = handle_;
    handle_ = nullptr;
    if (!DeregisterEventSource(source))
        return GetLastError();
    return ERROR_SUCCESS;
}

uint32_t WnEventLogWriter::ReportInformation(const wchar_t* format, ...)
{
    wchar_t text[kMaxTextLength + 1] = {};
    if (format == nullptr)
        return Report(EVENTLOG_INFORMATION_TYPE, WnEventMessageId::kInformation, text);
    va_list arguments;
    va_start(arguments, format);
    // The runtime's own formatter (not the C99 one) so that %s takes the
    // wide strings every caller passes. It leaves a cut text unterminated.
    _vsnwprintf(text, kMaxTextLength, format, arguments);
    va_end(arguments);
    text[kMaxTextLength] = L'\0';
    return Report(EVENTLOG_INFORMATION_TYPE, WnEventMessageId::kInformation, text);
}

uint32_t WnEventLogWriter::ReportError(const wchar_t* text)
{
    return Report(EVENTLOG_ERROR_TYPE, WnEventMessageId::kError, text);
}

uint32_t WnEventLogWriter::Report(WORD type, uint32_t messageId, const wchar_t* text)
{
    const wchar_t* strings[1] = {text != nullptr ? text : L""};
    if (!ReportEventW(handle_, type, 0, messageId, nullptr, 1, 0, strings, nullptr))
        return GetLastError();
    return ERROR_SUCCESS;
}
