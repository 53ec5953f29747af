// Driver entry, the IRP dispatch routines, and the worker thread that
// completes answers held back by a delay fault. Dispatch never blocks: Wine
// hands the driver one request at a time, so anything slow is pended.
#include "SimDriver.h"

SimGlobals* g;

namespace {

const wchar_t kDeviceName[] = L"\\Device\\VedraSim";
const wchar_t kDeviceId[] = L"ROOT\\VEDRASIM";
const wchar_t kInstanceId[] = L"0000";
// {3B7C5A10-64E2-4F0D-9C1A-52D8E6F40A73}, the interface the programs open.
const GUID kInterfaceGuid = {0x3B7C5A10, 0x64E2, 0x4F0D, {0x9C, 0x1A, 0x52, 0xD8, 0xE6, 0xF4, 0x0A, 0x73}};
const wchar_t kLinkName[] = L"\\DosDevices\\" VEDRA_INTERFACE_GUID_STRING;

NTSTATUS ToNtStatus(VedraStatus status)
{
    return status == VEDRA_STATUS_SUCCESS ? STATUS_SUCCESS : (NTSTATUS)status;
}

void Complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
}

// Delayed requests keep their due time and connection in the IRP's
// driver context while they sit in g->delayed.
uint64_t DueOf(PIRP irp)
{
    uint64_t due;
    memcpy(&due, &irp->Tail.Overlay.DriverContext[0], sizeof(due));
    return due;
}

void SetDue(PIRP irp, uint64_t due)
{
    memcpy(&irp->Tail.Overlay.DriverContext[0], &due, sizeof(due));
}

SimConnection*& ConnectionOf(PIRP irp)
{
    return reinterpret_cast<SimConnection*&>(irp->Tail.Overlay.DriverContext[2]);
}

void NTAPI CancelDelayed(PDEVICE_OBJECT, PIRP irp)
{
    IoReleaseCancelSpinLock(irp->CancelIrql);
    KIRQL irql;
    KeAcquireSpinLock(&g->lock, &irql);
    RemoveEntryList(&irp->Tail.Overlay.ListEntry);
    SimConnection* conn = ConnectionOf(irp);
    conn->pendingRequests--;
    if (conn->closing && conn->pendingRequests == 0)
        SimDestroyConnection(conn);
    KeReleaseSpinLock(&g->lock, irql);
    Complete(irp, STATUS_CANCELLED, 0);
}

// Takes every delayed request of conn (or all when conn is null) that is not
// being cancelled already out of the list and into done.
void TakeDelayed(SimConnection* conn, bool dueOnly, uint64_t now, LIST_ENTRY* done)
{
    LIST_ENTRY* entry = g->delayed.Flink;
    while (entry != &g->delayed) {
        LIST_ENTRY* next = entry->Flink;
        PIRP irp = CONTAINING_RECORD(entry, IRP, Tail.Overlay.ListEntry);
        bool wanted = (conn == nullptr || ConnectionOf(irp) == conn) && (!dueOnly || DueOf(irp) <= now);
        // A null cancel routine means IoCancelIrp has it: its routine removes it.
        if (wanted && IoSetCancelRoutine(irp, nullptr) != nullptr) {
            RemoveEntryList(entry);
            ConnectionOf(irp)->pendingRequests--;
            InsertTailList(done, entry);
        }
        entry = next;
    }
}

void CompleteList(LIST_ENTRY* done, bool cancelled)
{
    while (!IsListEmpty(done)) {
        PIRP irp = CONTAINING_RECORD(RemoveHeadList(done), IRP, Tail.Overlay.ListEntry);
        if (cancelled)
            Complete(irp, STATUS_CANCELLED, 0);
        else
            IoCompleteRequest(irp, IO_NO_INCREMENT); // status was set at dispatch
    }
}

void NTAPI Worker(PVOID)
{
    while (!g->workerStop) {
        KIRQL irql;
        LIST_ENTRY done;
        InitializeListHead(&done);
        uint64_t now = SimNowMs();
        uint64_t nextDue = ~0ull;
        KeAcquireSpinLock(&g->lock, &irql);
        TakeDelayed(nullptr, true, now, &done);
        for (LIST_ENTRY* e = g->delayed.Flink; e != &g->delayed; e = e->Flink) {
            PIRP irp = CONTAINING_RECORD(e, IRP, Tail.Overlay.ListEntry);
            if (DueOf(irp) < nextDue)
                nextDue = DueOf(irp);
        }
        KeReleaseSpinLock(&g->lock, irql);
        CompleteList(&done, false);

        LARGE_INTEGER timeout;
        PLARGE_INTEGER wait = nullptr;
        if (nextDue != ~0ull) {
            uint64_t ms = nextDue > now ? nextDue - now : 0;
            timeout.QuadPart = -(LONGLONG)(ms * 10000 + 1000);
            wait = &timeout;
        }
        KeWaitForSingleObject(&g->workerWake, Executive, KernelMode, FALSE, wait);
    }
    PsTerminateSystemThread(STATUS_SUCCESS);
}

NTSTATUS NTAPI DispatchCreate(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    KIRQL irql;
    KeAcquireSpinLock(&g->lock, &irql);
    SimConnection* conn = SimCreateConnection((uint32_t)(ULONG_PTR)PsGetCurrentProcessId());
    KeReleaseSpinLock(&g->lock, irql);
    if (conn == nullptr) {
        Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    stack->FileObject->FsContext = conn;
    Complete(irp, STATUS_SUCCESS, 0);
    return STATUS_SUCCESS;
}

// Wine sends no IRP_MJ_CLEANUP: the close releases everything the
// connection holds, its pending requests first.
NTSTATUS NTAPI DispatchClose(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    SimConnection* conn = static_cast<SimConnection*>(stack->FileObject->FsContext);
    if (conn != nullptr) {
        LIST_ENTRY done;
        InitializeListHead(&done);
        KIRQL irql;
        KeAcquireSpinLock(&g->lock, &irql);
        TakeDelayed(conn, false, 0, &done);
        KeReleaseSpinLock(&g->lock, irql);
        CompleteList(&done, true);

        KeAcquireSpinLock(&g->lock, &irql);
        // A request whose cancel routine is still running keeps the
        // connection alive until it has taken itself off the list.
        if (conn->pendingRequests != 0) {
            SimReleaseConnection(conn);
            conn->closing = true;
        } else
            SimDestroyConnection(conn);
        KeReleaseSpinLock(&g->lock, irql);
        stack->FileObject->FsContext = nullptr;
    }
    Complete(irp, STATUS_SUCCESS, 0);
    return STATUS_SUCCESS;
}

// Wine names a device for its interface by asking it for its ids.
wchar_t* PoolText(const wchar_t* text)
{
    size_t n = 0;
    while (text[n] != 0)
        ++n;
    auto* copy = static_cast<wchar_t*>(ExAllocatePoolWithTag(PagedPool, (n + 1) * sizeof(wchar_t), SIM_POOL_TAG));
    if (copy != nullptr)
        memcpy(copy, text, (n + 1) * sizeof(wchar_t));
    return copy;
}

NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    NTSTATUS status = irp->IoStatus.Status;
    if (stack->MinorFunction == IRP_MN_QUERY_ID) {
        const wchar_t* id = nullptr;
        if (stack->Parameters.QueryId.IdType == BusQueryDeviceID)
            id = kDeviceId;
        else if (stack->Parameters.QueryId.IdType == BusQueryInstanceID)
            id = kInstanceId;
        if (id != nullptr) {
            wchar_t* copy = PoolText(id);
            status = copy != nullptr ? STATUS_SUCCESS : STATUS_INSUFFICIENT_RESOURCES;
            irp->IoStatus.Information = (ULONG_PTR)copy;
        }
    }
    irp->IoStatus.Status = status;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

// Wine registers the device for the interface as a "phantom" device and
// leaves it so in the registry; a later start can then neither create nor
// open it. The stale key goes before each registration.
void RemovePhantomDevice()
{
    UNICODE_STRING name;
    RtlInitUnicodeString(&name, L"\\Registry\\Machine\\System\\CurrentControlSet\\Enum\\ROOT\\VEDRASIM\\0000");
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &name, OBJ_KERNEL_HANDLE | OBJ_CASE_INSENSITIVE, nullptr, nullptr);
    HANDLE key = nullptr;
    if (NT_SUCCESS(ZwOpenKey(&key, DELETE, &attributes))) {
        ZwDeleteKey(key);
        ZwClose(key);
    }
}

// Registers and enables the device interface: Wine then sends
// DBT_DEVICEARRIVAL for it to every window and service registered for the
// interface class. Wine only links an interface to a bus-enumerated device.
void RegisterInterface(PDEVICE_OBJECT device)
{
    device->Flags |= DO_BUS_ENUMERATED_DEVICE;
    if (g->interfaceName.Buffer == nullptr) {
        RemovePhantomDevice();
        NTSTATUS status = IoRegisterDeviceInterface(device, &kInterfaceGuid, nullptr, &g->interfaceName);
        g->interfaceStatus = (uint32_t)status;
        if (!NT_SUCCESS(status)) {
            g->interfaceName.Buffer = nullptr;
            return;
        }
    }
    NTSTATUS status = IoSetDeviceInterfaceState(&g->interfaceName, TRUE);
    g->interfaceStatus = (uint32_t)status;
    g->interfaceRegistered = NT_SUCCESS(status);
}

// Wine never sends it; Windows would, before the close that releases
// everything.
NTSTATUS NTAPI DispatchCleanup(PDEVICE_OBJECT, PIRP irp)
{
    Complete(irp, STATUS_SUCCESS, 0);
    return STATUS_SUCCESS;
}

bool IsProductCode(uint32_t code)
{
    return (code & 0xFFFF0000u) == 0x80880000u;
}

// Device type, FILE_ANY_ACCESS and METHOD_BUFFERED: only then is the whole
// answer in the system buffer, which holds max(input, output) bytes.
bool IsBuffered(uint32_t code, uint32_t deviceType)
{
    return (code & 0xFFFFC003u) == (deviceType << 16);
}

VedraStatus Handle(SimRequest& r, SimFault*& fault)
{
    if (IsBuffered(r.code, 0x8089u))
        return SimControlRequest(r);
    if (!IsBuffered(r.code, 0x8088u))
        return VEDRA_STATUS_INVALID_IOCTL;

    fault = SimFindFault(r.function);
    if (fault != nullptr && fault->failCount > 0) {
        fault->failCount--;
        VedraStatus status = fault->failStatus;
        if (fault->failCount == 0 && fault->delayMs == 0)
            fault->function = 0;
        return status;
    }

    switch (r.function) {
    case VEDRA_FN_SET_NOTIFICATION_EVENTS:
        return SimSetEvents(r);
    case VEDRA_FN_REGISTER_ROLE:
        return SimRegisterRole(r);
    case VEDRA_FN_SEND_MESSAGE:
        return SimSendMessage(r);
    case VEDRA_FN_RECEIVE_MESSAGE:
        return SimReceive(r, false);
    case VEDRA_FN_RECEIVE_NOTIFICATION:
        return SimReceive(r, true);
    case VEDRA_FN_GET_DEVICE_LIST:
        return SimGetDeviceList(r);
    case VEDRA_FN_BIND_DEVICE:
        return SimBindDevice(r);
    default:
        break;
    }
    if (r.function >= 0xB00) {
        SimUnit* unit = r.conn->bound ? SimFindUnit(r.conn->boundId) : nullptr;
        return SimDeviceRequest(r, unit);
    }
    return SimStreamingRequest(r);
}

NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT, PIRP irp)
{
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    SimConnection* conn = static_cast<SimConnection*>(stack->FileObject->FsContext);
    if (conn == nullptr) {
        Complete(irp, STATUS_INVALID_HANDLE, 0);
        return STATUS_INVALID_HANDLE;
    }
    SimRequest r = {};
    r.conn = conn;
    r.code = stack->Parameters.DeviceIoControl.IoControlCode;
    r.function = (r.code >> 2) & 0xFFFu;
    r.buffer = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);
    r.inLength = stack->Parameters.DeviceIoControl.InputBufferLength;
    r.outLength = stack->Parameters.DeviceIoControl.OutputBufferLength;
    r.processId = (uint32_t)(ULONG_PTR)PsGetCurrentProcessId();
    if (r.buffer == nullptr) {
        r.inLength = 0;
        r.outLength = 0;
    }
    r.role = conn->role;
    if (r.inLength > 0)
        memcpy(r.inputPrefix, r.buffer, r.inLength < sizeof(r.inputPrefix) ? r.inLength : sizeof(r.inputPrefix));

    if (r.code == VedraSimControlCode(VSIM_FN_ANNOUNCE)) {
        // The broadcast waits for Wine's plug-and-play service: no lock held.
        VedraStatus announced = r.inLength == 0 && r.outLength == 0 ? SimAnnounceInterface()
                                                                     : VEDRA_STATUS_INVALID_INBUFFER_SIZE;
        NTSTATUS nt = ToNtStatus(announced);
        Complete(irp, nt, 0);
        return nt;
    }

    KIRQL irql;
    KeAcquireSpinLock(&g->lock, &irql);
    SimFault* fault = nullptr;
    VedraStatus status = Handle(r, fault);
    if (status != VEDRA_STATUS_SUCCESS)
        r.bytesReturned = 0;
    if (IsProductCode(r.code))
        SimJournal(r, status);

    bool delay = fault != nullptr && fault->delayMs > 0;
    if (delay) {
        irp->IoStatus.Status = ToNtStatus(status);
        irp->IoStatus.Information = r.bytesReturned;
        SetDue(irp, SimNowMs() + fault->delayMs);
        ConnectionOf(irp) = conn;
        IoMarkIrpPending(irp);
        (void)IoSetCancelRoutine(irp, CancelDelayed);
        InsertTailList(&g->delayed, &irp->Tail.Overlay.ListEntry);
        conn->pendingRequests++;
        KeReleaseSpinLock(&g->lock, irql);
        if (irp->Cancel && IoSetCancelRoutine(irp, nullptr) != nullptr) {
            KeAcquireSpinLock(&g->lock, &irql);
            RemoveEntryList(&irp->Tail.Overlay.ListEntry);
            conn->pendingRequests--;
            KeReleaseSpinLock(&g->lock, irql);
            Complete(irp, STATUS_CANCELLED, 0);
            return STATUS_PENDING;
        }
        KeSetEvent(&g->workerWake, IO_NO_INCREMENT, FALSE);
        return STATUS_PENDING;
    }
    KeReleaseSpinLock(&g->lock, irql);
    NTSTATUS nt = ToNtStatus(status);
    Complete(irp, nt, r.bytesReturned);
    return nt;
}

void NTAPI Unload(PDRIVER_OBJECT driver)
{
    if (g->interfaceRegistered)
        IoSetDeviceInterfaceState(&g->interfaceName, FALSE);
    if (g->interfaceName.Buffer != nullptr)
        RtlFreeUnicodeString(&g->interfaceName);
    InterlockedExchange(&g->workerStop, 1);
    KeSetEvent(&g->workerWake, IO_NO_INCREMENT, FALSE);
    if (g->workerThread != nullptr) {
        ZwWaitForSingleObject(g->workerThread, FALSE, nullptr);
        ZwClose(g->workerThread);
    }
    LIST_ENTRY done;
    InitializeListHead(&done);
    KIRQL irql;
    KeAcquireSpinLock(&g->lock, &irql);
    TakeDelayed(nullptr, false, 0, &done);
    KeReleaseSpinLock(&g->lock, irql);
    CompleteList(&done, true);

    while (!IsListEmpty(&g->connections)) {
        SimConnection* conn = CONTAINING_RECORD(g->connections.Flink, SimConnection, link);
        SimDestroyConnection(conn);
    }
    SimResetScenario(VSIM_SCENARIO_NONE);
    if (g->journal != nullptr)
        ExFreePoolWithTag(g->journal, SIM_POOL_TAG);

    UNICODE_STRING link;
    RtlInitUnicodeString(&link, kLinkName);
    IoDeleteSymbolicLink(&link);
    if (driver->DeviceObject != nullptr)
        IoDeleteDevice(driver->DeviceObject);
    ExFreePoolWithTag(g, SIM_POOL_TAG);
    g = nullptr;
}

} // namespace

extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registryPath)
{
    // Wine's loader first calls the entry point as DllMain(hinst, reason, 0).
    if ((ULONG_PTR)registryPath <= 3)
        return TRUE;

    g = static_cast<SimGlobals*>(ExAllocatePoolWithTag(NonPagedPool, sizeof(SimGlobals), SIM_POOL_TAG));
    if (g == nullptr)
        return STATUS_INSUFFICIENT_RESOURCES;
    memset(g, 0, sizeof(SimGlobals));
    KeInitializeSpinLock(&g->lock);
    InitializeListHead(&g->connections);
    InitializeListHead(&g->delayed);
    KeInitializeEvent(&g->workerWake, SynchronizationEvent, FALSE);
    g->journal = static_cast<VedraSimJournalEntry*>(
        ExAllocatePoolWithTag(NonPagedPool, sizeof(VedraSimJournalEntry) * VSIM_JOURNAL_CAPACITY, SIM_POOL_TAG));
    if (g->journal == nullptr) {
        ExFreePoolWithTag(g, SIM_POOL_TAG);
        return STATUS_INSUFFICIENT_RESOURCES;
    }
    SimResetJournal();
    SimResetScenario(VSIM_SCENARIO_ONE);

    UNICODE_STRING name;
    RtlInitUnicodeString(&name, kDeviceName);
    PDEVICE_OBJECT device = nullptr;
    NTSTATUS status = IoCreateDevice(driver, 0, &name, FILE_DEVICE_UNKNOWN, 0, FALSE, &device);
    if (!NT_SUCCESS(status)) {
        ExFreePoolWithTag(g->journal, SIM_POOL_TAG);
        ExFreePoolWithTag(g, SIM_POOL_TAG);
        return status;
    }
    g->device = device;
    device->Flags |= DO_BUFFERED_IO;
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, kLinkName);
    status = IoCreateSymbolicLink(&link, &name);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(device);
        ExFreePoolWithTag(g->journal, SIM_POOL_TAG);
        ExFreePoolWithTag(g, SIM_POOL_TAG);
        return status;
    }

    driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreate;
    driver->MajorFunction[IRP_MJ_CLOSE] = DispatchClose;
    driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
    driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
    driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCleanup;
    driver->DriverUnload = Unload;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    RegisterInterface(device);

    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, nullptr, OBJ_KERNEL_HANDLE, nullptr, nullptr);
    status = PsCreateSystemThread(&g->workerThread, THREAD_ALL_ACCESS, &attributes, nullptr, nullptr, Worker, nullptr);
    if (!NT_SUCCESS(status))
        g->workerThread = nullptr; // delay faults then complete at once (see SimControl)
    return STATUS_SUCCESS;
}

// Wine's KeQueryInterruptTime does not count in 100 ns units; the system
// time does (a clock change while a delay runs only shifts that delay).
// Called from a control request, outside the driver's lock.
// A registration that failed at start (Wine's plug-and-play service not yet
// up) is tried again here.
VedraStatus SimAnnounceInterface()
{
    if (g->interfaceRegistered) {
        IoSetDeviceInterfaceState(&g->interfaceName, FALSE);
        g->interfaceRegistered = false;
    }
    RegisterInterface(g->device);
    return g->interfaceRegistered ? VEDRA_STATUS_SUCCESS : VEDRA_STATUS_NOT_SUPPORTED;
}

uint64_t SimNowMs()
{
    LARGE_INTEGER now;
    KeQuerySystemTime(&now);
    return (uint64_t)now.QuadPart / 10000u;
}

void SimCopyText(wchar_t* target, uint32_t capacity, const wchar_t* source)
{
    uint32_t i = 0;
    for (; i + 1 < capacity && source[i] != 0; ++i)
        target[i] = source[i];
    for (; i < capacity; ++i)
        target[i] = 0;
}

uint32_t SimAppendNumber(wchar_t* target, uint32_t capacity, uint32_t at, uint32_t value)
{
    wchar_t digits[10];
    uint32_t n = 0;
    do {
        digits[n++] = (wchar_t)(L'0' + value % 10);
        value /= 10;
    } while (value != 0 && n < 10);
    while (n > 0 && at + 1 < capacity)
        target[at++] = digits[--n];
    if (at < capacity)
        target[at] = 0;
    return at;
}

bool SimIdEqual(VedraDeviceId a, VedraDeviceId b)
{
    return a.low == b.low && a.high == b.high;
}
