#pragma once
#include <windows.h>
#include <stdint.h>

// The callback interfaces of the Wn library and their forwarders.
//
// The library calls back through small abstract interfaces. An owner that
// wants one of its own member functions called embeds the matching
// forwarder by value, binds it to (this, &Owner::Member) in its constructor
// and hands the forwarder's address to the library. The library only ever
// sees the interface, and the owner needs no extra base classes.
//
// The interfaces have no virtual destructor: the library never deletes a
// callback. Their destructors are protected so that nobody can delete one
// through the interface either.

// The body of a thread started by WnThread; the result is the thread's exit code.
class WnThreadCallbackInterface {
public:
    virtual uint32_t Run() = 0;

protected:
    ~WnThreadCallbackInterface() = default;
};

// Expiries of a WnWaitableTimer. low and high are the two halves of the
// expiry time (a FILETIME in UTC) that the system passes to the timer's
// completion routine.
class WnWaitableTimerCallbackInterface {
public:
    virtual void OnTimer(uint32_t low, uint32_t high) = 0;

protected:
    ~WnWaitableTimerCallbackInterface() = default;
};

// Controls sent by the service control manager to a running service
// (the arguments of a HandlerEx routine). The result goes back to the system.
class WnServiceCallbackInterface {
public:
    virtual uint32_t HandleControl(uint32_t control, uint32_t eventType, void* eventData) = 0;

protected:
    ~WnServiceCallbackInterface() = default;
};

// Device-interface arrivals and removals seen by a WnPnPNotificator.
// eventType is the WM_DEVICECHANGE wParam (DBT_DEVICEARRIVAL or
// DBT_DEVICEREMOVECOMPLETE); eventData points at the system's
// DEV_BROADCAST_HDR, valid only during the call.
class WnPnPNotificatorCallbackInterface {
public:
    virtual void OnDeviceChange(uint32_t eventType, void* eventData) = 0;

protected:
    ~WnPnPNotificatorCallbackInterface() = default;
};

// Forwarders. Each holds the bound object and a member function with the
// interface operation's signature. Forwarders of the thread, timer and
// service kinds must be bound before they are handed out; the notificator
// kind may be handed out unbound and then does nothing, because a
// notificator can deliver an event while its owner is still being built.

template <class T>
class WnThreadCallbackForwarderT : public WnThreadCallbackInterface {
public:
    using Method = uint32_t (T::*)();

    WnThreadCallbackForwarderT() = default;
    WnThreadCallbackForwarderT(T* object, Method method) : object_(object), method_(method) {}
    WnThreadCallbackForwarderT(const WnThreadCallbackForwarderT&) = delete;
    WnThreadCallbackForwarderT& operator=(const WnThreadCallbackForwarderT&) = delete;
    ~WnThreadCallbackForwarderT() = default;

    void Bind(T* object, Method method)
    {
        object_ = object;
        method_ = method;
    }

    uint32_t Run() override { return (object_->*method_)(); }

private:
    T* object_ = nullptr;
    Method method_ = nullptr;
};

template <class T>
class WnWaitableTimerCallbackForwarderT : public WnWaitableTimerCallbackInterface {
public:
    using Method = void (T::*)(uint32_t low, uint32_t high);

    WnWaitableTimerCallbackForwarderT() = default;
    WnWaitableTimerCallbackForwarderT(T* object, Method method) : object_(object), method_(method) {}
    WnWaitableTimerCallbackForwarderT(const WnWaitableTimerCallbackForwarderT&) = delete;
    WnWaitableTimerCallbackForwarderT& operator=(const WnWaitableTimerCallbackForwarderT&) = delete;
    ~WnWaitableTimerCallbackForwarderT() = default;

    void Bind(T* object, Method method)
    {
        object_ = object;
        method_ = method;
    }

    void OnTimer(uint32_t low, uint32_t high) override { (object_->*method_)(low, high); }

private:
    T* object_ = nullptr;
    Method method_ = nullptr;
};

template <class T>
class WnServiceCallbackForwarderT : public WnServiceCallbackInterface {
public:
    using Method = uint32_t (T::*)(uint32_t control, uint32_t eventType, void* eventData);

    WnServiceCallbackForwarderT() = default;
    WnServiceCallbackForwarderT(T* object, Method method) : object_(object), method_(method) {}
    WnServiceCallbackForwarderT(const WnServiceCallbackForwarderT&) = delete;
    WnServiceCallbackForwarderT& operator=(const WnServiceCallbackForwarderT&) = delete;
    ~WnServiceCallbackForwarderT() = default;

    void Bind(T* object, Method method)
    {
        object_ = object;
        method_ = method;
    }

    uint32_t HandleControl(uint32_t control, uint32_t eventType, void* eventData) override
    {
        return (object_->*method_)(control, eventType, eventData);
    }

private:
    T* object_ = nullptr;
    Method method_ = nullptr;
};

template <class T>
class WnPnPNotificatorCallbackForwarderT : public WnPnPNotificatorCallbackInterface {
public:
    using Method = void (T::*)(uint32_t eventType, void* eventData);

    WnPnPNotificatorCallbackForwarderT() = default;
    WnPnPNotificatorCallbackForwarderT(T* object, Method method) : object_(object), method_(method) {}
    WnPnPNotificatorCallbackForwarderT(const WnPnPNotificatorCallbackForwarderT&) = delete;
    WnPnPNotificatorCallbackForwarderT& operator=(const WnPnPNotificatorCallbackForwarderT&) = delete;
    ~WnPnPNotificatorCallbackForwarderT() = default;

    void Bind(T* object, Method method)
    {
        object_ = object;
        method_ = method;
    }

    void OnDeviceChange(uint32_t eventType, void* eventData) override
    {
        if (object_ == nullptr || method_ == nullptr)
            return;
        (object_->*method_)(eventType, eventData);
    }

private:
    T* object_ = nullptr;
    Method method_ = nullptr;
};
