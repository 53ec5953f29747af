#pragma once
#include <windows.h>
#include <stdint.h>

// Message ids of the program's message table (resource id 1, language 1033,
// built from WnEventMessages.mc with wn_add_event_messages() in CMake). Each
// message's text is "%1\r\n": the event viewer shows the one inserted string
// followed by a line break.
struct WnEventMessageId {
    static constexpr uint32_t kInformation = 0x60070001; // informational
    static constexpr uint32_t kWarning = 0xA0070002;     // warning
    static constexpr uint32_t kError = 0xE0070003;       // error
};

// Base of owned event-source handles (the HANDLE of RegisterEventSourceW).
class WnEventLogHandle {
public:
    WnEventLogHandle() = default;
    virtual ~WnEventLogHandle();
    virtual uint32_t Close() = 0;

    WnEventLogHandle(const WnEventLogHandle&) = delete;
    WnEventLogHandle& operator=(const WnEventLogHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr; }

protected:
    HANDLE handle_ = nullptr;
};

// A registered event source on the local machine. The registry entry that
// lets the event viewer read its messages is written at install time
// (WnServiceAdmin::InstallService).
class WnEventLogWriter : public WnEventLogHandle {
public:
    // The longest text reported, in UTF-16 units; longer texts are cut.
    static constexpr size_t kMaxTextLength = 4095;

    WnEventLogWriter() = default;
    ~WnEventLogWriter() override;

    // Closes a held source (error dropped) and registers sourceName.
    uint32_t Open(const wchar_t* sourceName);
    // Deregisters a held source and forgets it; 0 or the system error.
    uint32_t Close() override;

    // Reports an information event (message kInformation) whose one string
    // is the formatted text. The format follows the Windows C runtime: %s is
    // a wide string. Text beyond kMaxTextLength units is cut; a formatting
    // error is not reported (what was formatted so far is).
    uint32_t ReportInformation(const wchar_t* format, ...);
    // Reports an error event (message kError) with text as its one string.
    uint32_t ReportError(const wchar_t* text);

private:
    uint32_t Report(WORD type, uint32_t messageId, const wchar_t* text);
};
